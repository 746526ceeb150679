#include "twain/code_names.h"

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

}  // namespace kavrel::twainlib
