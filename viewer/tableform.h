// The signature viewer: one client's images, one at a time at their natural size, with stepping,
// deleting, zooming, printing and a key help. kvrshow creates it, fills its fields and shows it
// modally; from then on everything happens in its event handlers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/picture/bitmap.h"
#include "runtime/toolkit/controls.h"
#include "runtime/toolkit/form.h"

namespace kavrel::viewer {

// A JPEG image: a .jpg file decoded into a picture.
struct JpegImageObject {
    std::shared_ptr<const picture::DibBitmap> picture;
    void LoadFromFile(const std::string& path);
};

// The off-screen bitmap the zoom keys draw into.
struct ZoomBitmapObject {
    std::shared_ptr<picture::DibBitmap> picture;
    // A new picture of the given size with `source` stretched over it.
    void DrawStretched(const picture::DibBitmap& source, int width, int height);
};

class TTF : public ui::Form {
public:
    TTF();
    ~TTF() override;

    // The controls, in tab order of the buttons.
    ui::ImageControl Image1;
    ui::Button Button1;  // "Prev"
    ui::Button Button2;  // "Next"
    ui::Button Button3;  // "Delete"

    // Filled by kvrshow before showing.
    std::int32_t CurrentIndex = 0;
    std::string ClientKey;
    std::string SignatureDir;  // a file's path is JoinPath(SignatureDir, its name), as listed
    std::string TitleText;
    std::string ButtonsFlag;   // "0": the button row is hidden
    std::string DeleteFlag;    // "0": kvrshow disables Button3

    // The working objects, made at each showing and released on closing. Each viewer has its
    // own: a viewer shown over another (kvrshow called from a host window whose message the first
    // one's loop dispatched) must leave the one beneath its list and pictures, or Delete there
    // would remove a file of the other viewer's list.
    std::unique_ptr<std::vector<std::string>> FileList;
    std::unique_ptr<JpegImageObject> JpegImage;
    std::unique_ptr<ZoomBitmapObject> ZoomBitmap;

    // Calls `visit` with each viewer that exists, oldest first, under a lock that keeps every one
    // of them (and TF) as it is meanwhile: a viewer is destroyed on its own thread, which takes
    // the lock first. `visit` may destroy a viewer of this thread; it is not visited again.
    static void ForEachViewer(const std::function<void(TTF&)>& visit);
    // Makes `viewer` the one in use (TF), under the same lock.
    static void MakeCurrent(TTF* viewer);

    // Event handlers.
    void FormShow();
    void FormClose(ui::CloseAction& action);
    void FormDblClick();
    void FormKeyDown(WORD& key);
    void Image1DblClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // Loads FileList[CurrentIndex] into Image1 at one screen pixel per image pixel and fits the
    // window around it.
    void ShowImageAt();
    // Lays out the button row from Image1's width and fits the window to its controls.
    void FitWindow();
    // Fills FileList from SignatureDir: the client's .bmp and .jpg entries, key compared byte
    // for byte, in listing order.
    void BuildFileList();

private:
    // The path of the list's entry at `index`, by the rule the listing itself used.
    std::string PathOf(std::size_t index) const;
    void ZoomStep(bool enlarge);
    void PrintImage();
    void ShowKeyHelp();
    void UpdateStepButtons();
};

// The viewer in use (the latest one kvrshow made); owned by the application object.
extern TTF* TF;


}  // namespace kavrel::viewer
