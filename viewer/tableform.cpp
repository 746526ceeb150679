#include "viewer/tableform.h"

#include <algorithm>
#include <cstring>

#include "host/host_interface.h"
#include "host/signature_files.h"
#include "host/signature_rule.h"
#include "base/error.h"
#include "runtime/jpeg/jpeg_codec.h"
#include "runtime/picture/bmp_picture.h"
#include "runtime/printing/printer.h"
#include "runtime/toolkit/application.h"
#include "runtime/toolkit/message_box.h"
#include "viewer/viewer_rules.h"

namespace kavrel::viewer {

TTF* TF = nullptr;

namespace {

constexpr char kWindowClass[] = "TTF";
constexpr char kDesignCaption[] = "клиент";
constexpr ui::Bounds kDesignBounds{192, 107, 363, 188};
constexpr int kPrintScale = 5;          // printer pixels for every pixel shown

constexpr char kDeleteQuestion[] = "Вы действительно хотите удалить данное изображение?";
constexpr char kDeleteCaption[] = "Предупреждение";
constexpr char kKeyHelpCaption[] = "Клавиши просмотра";
constexpr char kKeyHelp[] =
    "\"+\" на цифровой клавиатуре - увеличить изображение вдвое\n"
    "\"-\" на цифровой клавиатуре - уменьшить изображение вдвое\n"
    "\"F7\" - печать";

// The viewers that exist. They and TF are kept under the toolkit's lock over its forms: kvrshow on
// one thread may look at a hidden viewer of another thread while that thread destroys it.
std::vector<TTF*>& LiveViewers() {
    static std::vector<TTF*> viewers;
    return viewers;
}

bool EndsWith(const std::string& text, const char* ending) {
    const std::size_t n = std::strlen(ending);
    return text.size() >= n && text.compare(text.size() - n, n, ending) == 0;
}

}  // namespace

void JpegImageObject::LoadFromFile(const std::string& path) { picture = jpeg::ReadJpegFile(path); }

void ZoomBitmapObject::DrawStretched(const picture::DibBitmap& source, int width, int height) {
    picture = source.Resampled(width, height);
}

TTF::TTF()
    : ui::Form(kWindowClass, kDesignCaption, kDesignBounds),
      Image1(*this, {0, 32, 353, 129}),
      Button1(*this, "Prev", {0, 0, 150, 25}),
      Button2(*this, "Next", {152, 0, 150, 25}),
      Button3(*this, "Delete", {304, 0, 51, 25}) {
    OnShow = [this] { FormShow(); };
    OnClose = [this](ui::CloseAction& action) { FormClose(action); };
    OnDblClick = [this] { FormDblClick(); };
    OnKeyDown = [this](WORD& key) { FormKeyDown(key); };
    Image1.OnDblClick = [this] { Image1DblClick(); };
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    Button3.OnClick = [this] { Button3Click(); };
    for (ui::Button* button : {&Button1, &Button2, &Button3}) {
        button->OnKeyDown = [this](WORD& key) { FormKeyDown(key); };
    }
    const CriticalSectionLock locked(ui::Application::FormsLock());
    LiveViewers().push_back(this);
}

TTF::~TTF() {
    // The module-wide references never outlive their viewer (the application object may destroy
    // it, for instance when the host detaches the module and attaches it again).
    const CriticalSectionLock locked(ui::Application::FormsLock());
    if (TF == this) TF = nullptr;
    auto& viewers = LiveViewers();
    viewers.erase(std::remove(viewers.begin(), viewers.end(), this), viewers.end());
}

void TTF::ForEachViewer(const std::function<void(TTF&)>& visit) {
    const CriticalSectionLock locked(ui::Application::FormsLock());
    const std::vector<TTF*> all = LiveViewers();
    for (TTF* viewer : all) {
        const auto& live = LiveViewers();
        if (std::find(live.begin(), live.end(), viewer) != live.end()) visit(*viewer);
    }
}

void TTF::MakeCurrent(TTF* viewer) {
    const CriticalSectionLock locked(ui::Application::FormsLock());
    TF = viewer;
}

// --- showing, listing, laying out ------------------------------------------------------------

void TTF::FormShow() {
    ZoomBitmap = std::make_unique<ZoomBitmapObject>();
    JpegImage = std::make_unique<JpegImageObject>();
    FileList = std::make_unique<std::vector<std::string>>();
    if (!DirectoryExists(SignatureDir)) {
        host::ReportMessage("Отсутствует директория с подписями клиентов");
        Close();
        return;
    }
    BuildFileList();
    if (ButtonsFlag == "0") {
        Button1.SetVisible(false);
        Button2.SetVisible(false);
        Button3.SetVisible(false);
    }
    if (FileList->empty()) {
        host::ReportMessage("Отсутствует файл с подписью клиента");
        Close();
        return;
    }
    // The buttons are set before the image is loaded, so that they are right for the list even
    // when the first file cannot be shown (Next must not lead past a single entry).
    UpdateStepButtons();
    ShowImageAt();
}

void TTF::BuildFileList() {
    FileList->clear();
    // A directory that cannot be listed leaves the list empty.
    if (auto names = ListSignatureFiles(SignatureDir, ClientKey, KeyMode::ExactBytes)) {
        *FileList = std::move(*names);
    }
}

void TTF::UpdateStepButtons() {
    const StepButtons step = StepButtonsAt(CurrentIndex, static_cast<std::int32_t>(FileList ? FileList->size() : 0));
    Button1.SetEnabled(step.prevEnabled);
    Button2.SetEnabled(step.nextEnabled);
}

std::string TTF::PathOf(std::size_t index) const { return JoinPath(SignatureDir, (*FileList)[index]); }

void TTF::ShowImageAt() {
    // Only a viewer being shown has its working objects (FormClose released them).
    if (!JpegImage || !FileList || CurrentIndex < 0 || CurrentIndex >= static_cast<std::int32_t>(FileList->size())) {
        return;
    }
    const std::string& name = (*FileList)[static_cast<std::size_t>(CurrentIndex)];
    const std::string path = PathOf(static_cast<std::size_t>(CurrentIndex));
    std::shared_ptr<const picture::DibBitmap> loaded;
    try {
        if (EndsWith(name, "bmp")) {
            loaded = picture::ReadBmpFile(path);
        } else {
            JpegImage->LoadFromFile(path);
            loaded = JpegImage->picture;
        }
    } catch (...) {
        // After a failed load the image area is left empty rather than showing the previous
        // image under the new position; the error box names the file.
        Image1.SetPicture(nullptr);
        throw;
    }
    Image1.SetPicture(loaded);
    Image1.SetBounds({0, kButtonRowHeight, loaded->Width(), loaded->Height()});
    FitWindow();
}

void TTF::FitWindow() {
    const ButtonRow row = LayOutButtons(Image1.Width());
    Button1.SetBounds({row.prev.left, 0, row.prev.width, kButtonRowHeight});
    Button2.SetBounds({row.next.left, 0, row.next.width, kButtonRowHeight});
    Button3.SetBounds({row.del.left, 0, row.del.width, kButtonRowHeight});
    FitToControls();
}

// --- stepping and deleting --------------------------------------------------------------------

void TTF::Button2Click() {
    if (!Button2.Enabled()) return;
    const auto n = static_cast<std::int32_t>(FileList->size());
    if (CurrentIndex + 1 >= n) return;  // never past the end of the list
    ++CurrentIndex;
    // Next first: a disabled button hands its focus on, and the button it lands on depends on
    // which of the two is enabled at that moment.
    const StepButtons step = StepButtonsAt(CurrentIndex, n);
    Button2.SetEnabled(step.nextEnabled);
    Button1.SetEnabled(step.prevEnabled);
    ShowImageAt();
}

void TTF::Button1Click() {
    if (!Button1.Enabled()) return;
    if (CurrentIndex <= 0) return;
    --CurrentIndex;
    UpdateStepButtons();  // Prev first, the mirror of Next
    ShowImageAt();
}

void TTF::Button3Click() {
    const std::int32_t p = CurrentIndex;  // the image the operator sees as the question is asked
    bool yes = false;
    {
        BusyScope busy(*this);  // no other command while the question is open
        yes = ui::AskYesNo(Handle(), kDeleteQuestion, kDeleteCaption);
    }
    // Closed meanwhile (the question's loop dispatched a close): the operator no longer sees the
    // image, and nothing is deleted.
    if (!yes || !StillShown()) return;
    if (p >= 0 && p < static_cast<std::int32_t>(FileList->size())) {
        // The outcome is not looked at: a file that stays is listed again below.
        ::DeleteFileA(PathOf(static_cast<std::size_t>(p)).c_str());
    }
    BuildFileList();
    const auto n = static_cast<std::int32_t>(FileList->size());
    if (n == 0) {
        Close();
        return;
    }
    CurrentIndex = IndexAfterDeletion(p, n);
    UpdateStepButtons();
    ShowImageAt();
}

// --- keys, zoom, printing, closing ----------------------------------------------------------------

void TTF::FormKeyDown(WORD& key) {
    bool zoomed = false;
    if (key == VK_ESCAPE) {
        Close();
    } else if (key == VK_F7) {
        PrintImage();
    } else if (key == VK_ADD) {
        ZoomStep(true);
        zoomed = true;
    } else if (key == VK_SUBTRACT) {
        ZoomStep(false);
        zoomed = true;
    } else if (key == VK_F1) {
        ShowKeyHelp();
    }
    if (zoomed) FitWindow();
}

void TTF::ZoomStep(bool enlarge) {
    const auto& current = Image1.Picture();
    if (!current || !ZoomBitmap) return;
    const long long width = enlarge ? current->Width() * 2LL : current->Width() / 2;
    const long long height = enlarge ? current->Height() * 2LL : current->Height() / 2;
    // A side of 0, or a picture the host's memory should not be asked for, is refused and the
    // picture stays as it is.
    if (width <= 0 || height <= 0) {
        throw Error("Изображение нельзя уменьшить: его сторона стала бы меньше одной точки");
    }
    if (width > picture::kMaxSide || height > picture::kMaxSide || width * height > picture::kMaxPixels) {
        throw Error("Изображение нельзя увеличить: " + std::to_string(width) + " x " + std::to_string(height) +
                    " точек - слишком большой размер");
    }
    ZoomBitmap->DrawStretched(*current, static_cast<int>(width), static_cast<int>(height));
    Image1.SetPicture(ZoomBitmap->picture);
    Image1.SetHeight(ZoomBitmap->picture->Height());
    Image1.SetWidth(ZoomBitmap->picture->Width());
    FitWindow();
}

void TTF::PrintImage() {
    // The print holds the picture it prints for its whole duration (a driver may show a window of
    // its own inside the job, whose loop dispatches the viewer's messages), and the viewer takes
    // no other command meanwhile: no zoom, step or deletion replaces the picture, no second F7
    // starts a job inside the first.
    const std::shared_ptr<const picture::DibBitmap> printed = Image1.Picture();
    if (!printed) throw Error("Печать невозможна: изображение не загружено");
    const int width = kPrintScale * Image1.Width();
    const int height = kPrintScale * Image1.Height();
    BusyScope busy(*this);
    printing::PrintPicture(*printed, width, height, Caption());
}

void TTF::ShowKeyHelp() {
    BusyScope busy(*this);
    ui::ShowInformation(Handle(), kKeyHelp, kKeyHelpCaption);
}

void TTF::FormDblClick() { Close(); }

void TTF::Image1DblClick() { Close(); }

void TTF::FormClose(ui::CloseAction& /*action: the default, hide*/) {
    ZoomBitmap.reset();
    JpegImage.reset();
}

}  // namespace kavrel::viewer
