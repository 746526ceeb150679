// kvrshow: the signature viewer. Its body arrives with the viewer form.
#include "module/script_functions.h"

namespace kavrel::script {
void __cdecl kvrshow() {}
}  // namespace kavrel::script
