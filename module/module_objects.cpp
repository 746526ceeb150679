// The host's AddModuleObjects: the script functions are registered under their names, in this order.
#include "base/no_throw.h"
#include "host/host_interface.h"
#include "module/script_functions.h"

extern "C" void __cdecl AddModuleObjects() {
    using namespace kavrel;
    NoThrowVoid([] {
        host::RegisterScriptFunction("kvrshow", &script::kvrshow);
        host::RegisterScriptFunction("kvrscan", &script::kvrscan);
        host::RegisterScriptFunction("kvrprov", &script::kvrprov);
    });
}
