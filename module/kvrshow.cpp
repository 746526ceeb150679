// kvrshow: shows a client's signature images in the modal viewer.
#include <string>

#include "base/no_throw.h"
#include "host/host_interface.h"
#include "module/script_functions.h"
#include "host/signature_files.h"
#include "runtime/toolkit/application.h"
#include "runtime/toolkit/message_box.h"
#include "viewer/tableform.h"

namespace kavrel::script {

namespace {

// Asked when there is nothing to show: no viewer of this call exists then, and one left hidden
// by an earlier call has released its working objects already; only a viewer still on screen
// would have anything to close.
void CloseViewerIfShown() {
    if (viewer::TF && viewer::TF->IsShowing()) viewer::TF->Close();
}

void ShowViewer(const std::string& directory, const std::string& clientKey) {
    ui::Application::Initialize();
    auto form = std::make_unique<viewer::TTF>();
    // Every call gets a new viewer; the hidden one of the call before is destroyed, so that a
    // day of calls does not pile up windows in the host until it runs out of them.
    ui::Form* previous = viewer::TF;
    viewer::TF = static_cast<viewer::TTF*>(&ui::Application::Adopt(std::move(form)));
    if (previous && !previous->IsModal()) ui::Application::Release(previous);

    viewer::TTF& tf = *viewer::TF;
    tf.SignatureDir = directory;
    tf.ClientKey = clientKey;
    tf.TitleText = host::GetParamText(2);
    tf.ButtonsFlag = host::GetParamText(3);
    tf.SetCaption(tf.Caption() + " - " + tf.TitleText);
    tf.CurrentIndex = 0;
    tf.DeleteFlag = host::GetParamText(4);
    if (tf.DeleteFlag == "0") tf.Button3.SetEnabled(false);
    tf.ShowModal();
}

}  // namespace

void __cdecl kvrshow() {
    // The host must never see an error, whatever happens below.
    NoThrowVoid([] {
        std::string directory;
        std::string clientKey;
        try {
            directory = host::GetParamText(0);
            clientKey = host::GetParamText(1);
        } catch (...) {
            return;
        }
        try {
            if (!DirectoryExists(directory)) {
                host::ReportMessage("Отсутствует директория с подписью клиента");
                return;
            }
            // Only whether there is one: the viewer lists the directory itself.
            const auto names = ListSignatureFiles(directory, clientKey, KeyMode::IgnoreCase, 1);
            if (!names) {
                host::ReportMessage("Невозможно открыть директорию с подписью клиента");
                return;
            }
            if (names->empty()) {
                host::ReportMessage("Отсутствует файл с подписью клиента");
                CloseViewerIfShown();
                return;
            }
            ShowViewer(directory, clientKey);
        } catch (const std::exception& e) {
            // "123" is the one message handed to the host raw, without the OEM conversion of
            // ReportMessage: it is the marker of this error path that hosts have always received in
            // this form (digits read the same in both code pages), ahead of the error box.
            host::ReportRawMessage("123");
            ui::ShowErrorBox(e.what());
            host::ReportMessage("Ошибка создания формы для отображения подписи");
        } catch (...) {
            host::ReportRawMessage("123");
            ui::ShowErrorBox("Внутренняя ошибка программы");
            host::ReportMessage("Ошибка создания формы для отображения подписи");
        }
    });
}

}  // namespace kavrel::script
