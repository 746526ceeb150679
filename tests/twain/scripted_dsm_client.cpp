#include "twain/scripted_dsm_client.h"

#include <gtest/gtest.h>

#include "support/dib_builder.h"

namespace kavrel::test {

using namespace twain;

namespace {

using SetHandlerFn = void(WINAPI*)(TW_UINT16(WINAPI*)(void*, TW_IDENTITY*, TW_IDENTITY*, TW_UINT32,
                                                       TW_UINT16, TW_UINT16, TW_MEMREF),
                                   void*);

// A private message that the default MSG_PROCESSEVENT answer turns into a source's event.
constexpr UINT kSourceEventMessage = WM_APP + 0x3A1;

const char* DatName(TW_UINT16 dat) {
    switch (dat) {
    case DAT_NULL: return "NULL";
    case DAT_CAPABILITY: return "CAPABILITY";
    case DAT_EVENT: return "EVENT";
    case DAT_IDENTITY: return "IDENTITY";
    case DAT_PARENT: return "PARENT";
    case DAT_PENDINGXFERS: return "PENDINGXFERS";
    case DAT_STATUS: return "STATUS";
    case DAT_USERINTERFACE: return "USERINTERFACE";
    case DAT_IMAGENATIVEXFER: return "IMAGENATIVEXFER";
    default: return "?";
    }
}

const char* MsgName(TW_UINT16 msg) {
    switch (msg) {
    case MSG_GET: return "GET";
    case MSG_GETCURRENT: return "GETCURRENT";
    case MSG_GETDEFAULT: return "GETDEFAULT";
    case MSG_SET: return "SET";
    case MSG_RESET: return "RESET";
    case MSG_OPENDSM: return "OPENDSM";
    case MSG_CLOSEDSM: return "CLOSEDSM";
    case MSG_OPENDS: return "OPENDS";
    case MSG_CLOSEDS: return "CLOSEDS";
    case MSG_USERSELECT: return "USERSELECT";
    case MSG_ENABLEDS: return "ENABLEDS";
    case MSG_DISABLEDS: return "DISABLEDS";
    case MSG_PROCESSEVENT: return "PROCESSEVENT";
    case MSG_ENDXFER: return "ENDXFER";
    default: return "?";
    }
}

// Bytes of the record each data argument type points at.
std::size_t RecordSize(TW_UINT16 dat) {
    switch (dat) {
    case DAT_CAPABILITY: return sizeof(TW_CAPABILITY);
    case DAT_EVENT: return sizeof(TW_EVENT);
    case DAT_IDENTITY: return sizeof(TW_IDENTITY);
    case DAT_PARENT: return sizeof(HWND);
    case DAT_PENDINGXFERS: return sizeof(TW_PENDINGXFERS);
    case DAT_STATUS: return sizeof(TW_STATUS);
    case DAT_USERINTERFACE: return sizeof(TW_USERINTERFACE);
    case DAT_IMAGENATIVEXFER: return sizeof(HANDLE);
    default: return 0;
    }
}

}  // namespace

std::string Triplet::Name() const {
    std::string name = toSource ? "DS " : "DSM ";
    name += DatName(dat);
    name += "/";
    name += MsgName(msg);
    return name;
}

ScriptedDsm::ScriptedDsm() {
    module_ = ::LoadLibraryA("C:\\windows\\TWAIN_32.DLL");
    if (!module_) {
        ADD_FAILURE() << "the scripted TWAIN_32.DLL is not in this prefix";
        return;
    }
    auto setHandler = reinterpret_cast<SetHandlerFn>(
        reinterpret_cast<void*>(::GetProcAddress(module_, "ScriptedDsm_SetHandler")));
    if (!setHandler) {
        ADD_FAILURE() << "C:\\windows\\TWAIN_32.DLL is not the scripted manager";
        return;
    }
    setHandler(&ScriptedDsm::Dispatch, this);
    installed_ = true;
}

ScriptedDsm::~ScriptedDsm() {
    if (module_) {
        auto setHandler = reinterpret_cast<SetHandlerFn>(
            reinterpret_cast<void*>(::GetProcAddress(module_, "ScriptedDsm_SetHandler")));
        if (setHandler) setHandler(nullptr, nullptr);
        ::FreeLibrary(module_);
    }
}

void ScriptedDsm::On(TW_UINT16 dat, TW_UINT16 msg, Rule rule, TW_UINT32 dg) {
    rules_[{dg, dat, msg}] = std::move(rule);
}

void ScriptedDsm::Answer(TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 result, TW_UINT32 dg) {
    On(dat, msg, [result](Triplet&) { return result; }, dg);
}

std::vector<std::string> ScriptedDsm::Names() const {
    std::vector<std::string> names;
    for (const auto& c : calls) names.push_back(c.Name());
    return names;
}

std::vector<Triplet> ScriptedDsm::Calls(const std::string& name) const {
    std::vector<Triplet> found;
    for (const auto& c : calls) {
        if (c.Name() == name) found.push_back(c);
    }
    return found;
}

void ScriptedDsm::PostSourceEvent(TW_UINT16 twainMessage) {
    ::PostThreadMessageA(::GetCurrentThreadId(), kSourceEventMessage, twainMessage, 0);
}

TW_UINT16 WINAPI ScriptedDsm::Dispatch(void* self, TW_IDENTITY* origin, TW_IDENTITY* destination,
                                       TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    auto* dsm = static_cast<ScriptedDsm*>(self);
    Triplet call;
    call.toSource = destination != nullptr;
    call.dg = dg;
    call.dat = dat;
    call.msg = msg;
    call.data = data;
    if (origin) call.origin = *origin;
    if (destination) call.destination = *destination;
    if (data) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        call.record.assign(bytes, bytes + RecordSize(dat));
        if (dat == DAT_CAPABILITY) {
            const auto* cap = static_cast<const TW_CAPABILITY*>(data);
            if (cap->hContainer) {
                const SIZE_T size = ::GlobalSize(cap->hContainer);
                if (const void* p = ::GlobalLock(cap->hContainer)) {
                    call.container.assign(static_cast<const std::uint8_t*>(p),
                                          static_cast<const std::uint8_t*>(p) + size);
                    ::GlobalUnlock(cap->hContainer);
                }
            }
        }
    }
    const auto rule = dsm->rules_.find({dg, dat, msg});
    const TW_UINT16 result = rule != dsm->rules_.end() ? rule->second(call) : dsm->DefaultAnswer(call);
    dsm->calls.push_back(std::move(call));
    return result;
}

TW_UINT16 ScriptedDsm::DefaultAnswer(Triplet& call) {
    if (call.dg == DG_IMAGE && call.dat == DAT_IMAGENATIVEXFER && call.msg == MSG_GET) {
        *static_cast<HANDLE*>(call.data) = MakeDibBlock({8, 8, 24, 0, BI_RGB, 0, 40, pagesPending});
        return TWRC_XFERDONE;
    }
    if (call.dg != DG_CONTROL) return TWRC_FAILURE;
    switch (call.dat) {
    case DAT_PARENT:
        return TWRC_SUCCESS;
    case DAT_IDENTITY:
        // One source, which is the default: a manager opens what it is asked for, or its default
        // when the product name is empty.
        if (call.msg == MSG_GETDEFAULT || (call.msg == MSG_OPENDS && !static_cast<TW_IDENTITY*>(call.data)->ProductName[0])) {
            auto* id = static_cast<TW_IDENTITY*>(call.data);
            id->Id = 7;
            std::strcpy(id->ProductName, "Scripted Scanner");
        }
        return TWRC_SUCCESS;
    case DAT_STATUS:
        static_cast<TW_STATUS*>(call.data)->ConditionCode = conditionCode;
        return TWRC_SUCCESS;
    case DAT_USERINTERFACE:
        if (call.msg == MSG_ENABLEDS && eventAfterEnable != MSG_NULL) PostSourceEvent(eventAfterEnable);
        return TWRC_SUCCESS;
    case DAT_EVENT: {
        auto* event = static_cast<TW_EVENT*>(call.data);
        const auto* message = static_cast<const MSG*>(event->pEvent);
        if (message && message->message == kSourceEventMessage) {
            event->TWMessage = static_cast<TW_UINT16>(message->wParam);
            return TWRC_DSEVENT;
        }
        return TWRC_NOTDSEVENT;
    }
    case DAT_PENDINGXFERS: {
        auto* pending = static_cast<TW_PENDINGXFERS*>(call.data);
        if (call.msg == MSG_ENDXFER && pagesPending > 0) --pagesPending;
        if (call.msg == MSG_RESET) pagesPending = 0;
        pending->Count = static_cast<TW_UINT16>(pagesPending);
        return TWRC_SUCCESS;
    }
    default:
        return TWRC_FAILURE;
    }
}

}  // namespace kavrel::test
