#include "runtime/jpeg/jpeg_errors.h"

extern "C" {
#include <jerror.h>
}

namespace kavrel::jpeg {

namespace {

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    errors->base.format_message(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level >= 0 || !errors->warningsAreErrors) return;
    if (errors->base.msg_code == JWRN_JPEG_EOF && errors->endOfDataHarmless) return;  // see ErrorManager
    OnError(cinfo);
}

}  // namespace

void SetUpErrors(ErrorManager& errors, bool warningsAreErrors) {
    jpeg_std_error(&errors.base);
    errors.base.error_exit = &OnError;
    errors.base.emit_message = &OnMessage;
    errors.message[0] = '\0';
    errors.warningsAreErrors = warningsAreErrors;
    errors.endOfDataHarmless = false;
}

}  // namespace kavrel::jpeg
