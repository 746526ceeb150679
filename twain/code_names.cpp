#include "twain/code_names.h"

#include <cstddef>

#include "twain/twain_protocol.h"

namespace kavrel::twainlib {

using namespace twain;

const char* ResultCodeName(int code) {
    switch (code) {
    case TWRC_SUCCESS: return "TWRC_SUCCESS";
    case TWRC_FAILURE: return "TWRC_FAILURE";
    case TWRC_CHECKSTATUS: return "TWRC_CHECKSTATUS";
    case TWRC_CANCEL: return "TWRC_CANCEL";
    case TWRC_DSEVENT: return "TWRC_DSEVENT";
    case TWRC_NOTDSEVENT: return "TWRC_NOTDSEVENT";
    case TWRC_XFERDONE: return "TWRC_XFERDONE";
    case TWRC_ENDOFLIST: return "TWRC_ENDOFLIST";
    default: return "unknown";
    }
}

const char* ConditionCodeName(int code) {
    switch (code) {
    case TWCC_SUCCESS: return "TWCC_SUCCESS";
    case TWCC_BUMMER: return "TWCC_BUMMER";
    case TWCC_LOWMEMORY: return "TWCC_LOWMEMORY";
    case TWCC_NODS: return "TWCC_NODS";
    case TWCC_MAXCONNECTIONS: return "TWCC_MAXCONNECTIONS";
    case TWCC_OPERATIONERROR: return "TWCC_OPERATIONERROR";
    case TWCC_BADCAP: return "TWCC_BADCAP";
    case TWCC_BADPROTOCOL: return "TWCC_BADPROTOCOL";
    case TWCC_BADVALUE: return "TWCC_BADVALUE";
    case TWCC_SEQERROR: return "TWCC_SEQERROR";
    case TWCC_BADDEST: return "TWCC_BADDEST";
    case TWCC_CAPUNSUPPORTED: return "TWCC_CAPUNSUPPORTED";
    case TWCC_CAPBADOPERATION: return "TWCC_CAPBADOPERATION";
    case TWCC_CAPSEQERROR: return "TWCC_CAPSEQERROR";
    default: return "unknown";
    }
}

namespace {

struct NamedValue {
    unsigned long value;
    const char* name;
};
#define KAVREL_NAMED(constant) NamedValue{constant, #constant}

template <std::size_t N>
const char* NameIn(const NamedValue (&names)[N], unsigned long value) {
    for (const NamedValue& named : names) {
        if (named.value == value) return named.name;
    }
    return nullptr;
}

}  // namespace

const char* DataGroupName(unsigned long group) {
    static constexpr NamedValue kNames[] = {KAVREL_NAMED(DG_CONTROL), KAVREL_NAMED(DG_IMAGE)};
    return NameIn(kNames, group);
}

const char* DataArgumentTypeName(unsigned short argumentType) {
    static constexpr NamedValue kNames[] = {
        KAVREL_NAMED(DAT_NULL), KAVREL_NAMED(DAT_CAPABILITY), KAVREL_NAMED(DAT_EVENT), KAVREL_NAMED(DAT_IDENTITY),
        KAVREL_NAMED(DAT_PARENT), KAVREL_NAMED(DAT_PENDINGXFERS), KAVREL_NAMED(DAT_STATUS),
        KAVREL_NAMED(DAT_USERINTERFACE), KAVREL_NAMED(DAT_IMAGEINFO), KAVREL_NAMED(DAT_IMAGELAYOUT),
        KAVREL_NAMED(DAT_IMAGENATIVEXFER)};
    return NameIn(kNames, argumentType);
}

const char* MessageName(unsigned short message) {
    static constexpr NamedValue kNames[] = {
        KAVREL_NAMED(MSG_NULL), KAVREL_NAMED(MSG_GET), KAVREL_NAMED(MSG_GETCURRENT), KAVREL_NAMED(MSG_GETDEFAULT),
        KAVREL_NAMED(MSG_GETFIRST), KAVREL_NAMED(MSG_GETNEXT), KAVREL_NAMED(MSG_SET), KAVREL_NAMED(MSG_RESET),
        KAVREL_NAMED(MSG_QUERYSUPPORT), KAVREL_NAMED(MSG_XFERREADY), KAVREL_NAMED(MSG_CLOSEDSREQ),
        KAVREL_NAMED(MSG_CLOSEDSOK), KAVREL_NAMED(MSG_OPENDSM), KAVREL_NAMED(MSG_CLOSEDSM), KAVREL_NAMED(MSG_OPENDS),
        KAVREL_NAMED(MSG_CLOSEDS), KAVREL_NAMED(MSG_USERSELECT), KAVREL_NAMED(MSG_DISABLEDS),
        KAVREL_NAMED(MSG_ENABLEDS), KAVREL_NAMED(MSG_PROCESSEVENT), KAVREL_NAMED(MSG_ENDXFER)};
    return NameIn(kNames, message);
}

#undef KAVREL_NAMED

}  // namespace kavrel::twainlib
