#include "base/operator_messages.h"

namespace kavrel {

// L"" before a narrow literal makes the concatenation a wide literal of the same characters.
#define KAVREL_OPERATOR_MESSAGE(literal) {literal, L"" literal}

const OperatorMessage kNoTwainDeviceMessage = KAVREL_OPERATOR_MESSAGE("В системе отсутствует TWAIN-устройство");
const OperatorMessage kNoScanDirectoryMessage = KAVREL_OPERATOR_MESSAGE("Отсутствует директория для сохранения");
const OperatorMessage kNoSourceChosenMessage = KAVREL_OPERATOR_MESSAGE("TWAIN-устройство не выбрано");
const OperatorMessage kNotConnectedMessage = KAVREL_OPERATOR_MESSAGE("TWAIN-устройство не подключено");
const OperatorMessage kNoDefaultPrinterMessage =
    KAVREL_OPERATOR_MESSAGE("Печать невозможна: в системе не установлен принтер по умолчанию");

#undef KAVREL_OPERATOR_MESSAGE

const OperatorMessage* const kOperatorMessages[5] = {&kNoTwainDeviceMessage, &kNoScanDirectoryMessage,
                                                     &kNoSourceChosenMessage, &kNotConnectedMessage,
                                                     &kNoDefaultPrinterMessage};

}  // namespace kavrel
