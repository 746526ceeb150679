// kvrscan: scanning a signature. Its body arrives with the TWAIN library.
#include "module/script_functions.h"

namespace kavrel::script {
void __cdecl kvrscan() {}
}  // namespace kavrel::script
