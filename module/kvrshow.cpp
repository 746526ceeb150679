// kvrshow: shows a client's signature images in the modal viewer.
#include <windows.h>

#include <string>

#include "base/critical_section.h"
#include "base/no_throw.h"
#include "host/host_interface.h"
#include "module/script_functions.h"
#include "host/signature_files.h"
#include "runtime/toolkit/application.h"
#include "runtime/toolkit/message_box.h"
#include "viewer/tableform.h"

namespace kavrel::script {

namespace {

// kvrshow runs on one thread at a time. A viewer's list, pictures and event handlers are its
// thread's, used without a lock, and only its thread can show or close its window; so a call from a
// second thread while one is running -- listing the directory, opening its viewer or showing it --
// is refused with a message rather than guarded. Calls on the same thread nest (a host window
// dispatched inside a viewer may call kvrshow again). A hidden viewer left by another thread's
// finished call does not stand in the way: it is released (its own thread destroys it), and the
// list of viewers itself is guarded.
class KvrshowCall {
public:
    KvrshowCall() noexcept {
        const CriticalSectionLock locked(ui::Application::FormsLock());
        Calls& calls = Running();
        entered_ = calls.depth == 0 || calls.thread == ::GetCurrentThreadId();
        if (!entered_) return;
        calls.thread = ::GetCurrentThreadId();
        ++calls.depth;
    }
    KvrshowCall(const KvrshowCall&) = delete;
    KvrshowCall& operator=(const KvrshowCall&) = delete;
    ~KvrshowCall() {
        if (!entered_) return;
        const CriticalSectionLock locked(ui::Application::FormsLock());
        Calls& calls = Running();
        if (--calls.depth == 0) calls.thread = 0;
    }
    bool Entered() const { return entered_; }

private:
    struct Calls {
        DWORD thread = 0;
        int depth = 0;
    };
    static Calls& Running() {
        static Calls calls;
        return calls;
    }
    bool entered_ = false;
};

void ShowViewer(const std::string& directory, const std::string& clientKey) {
    ui::Application::Initialize();
    // Every call gets a new viewer. The hidden ones of the calls before are destroyed, so that a
    // day of calls does not pile up windows in the host until it runs out of them; one that is
    // still shown (this call came from a host window its loop dispatched) stays, with its own
    // list and pictures, and is destroyed by a later call once it is closed.
    viewer::TTF::ForEachViewer([](viewer::TTF& previous) {
        if (!previous.IsModal()) ui::Application::Release(&previous);
    });
    auto form = std::make_unique<viewer::TTF>();
    viewer::TTF::MakeCurrent(static_cast<viewer::TTF*>(&ui::Application::Adopt(std::move(form))));

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
            const KvrshowCall call;
            if (!call.Entered()) {
                host::ReportMessage("Просмотр подписи уже открыт в другом потоке программы");
                return;
            }
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
                // Nothing else is closed: a viewer still on screen on this thread belongs to a
                // call that is still running (this one came from a host window its loop
                // dispatched), and one left hidden by an earlier call has nothing to close.
                host::ReportMessage("Отсутствует файл с подписью клиента");
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
