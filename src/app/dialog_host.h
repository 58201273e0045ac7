#pragma once
// What the main dialog's logic needs from its window: control texts, check
// boxes, the two combo boxes, the PHON list, questions, repainting the view,
// the pump timer and the wave frame's place. The Qt window implements it;
// tests use a fake. Control ids are those of dialog_template.h.
#include <cstdint>
#include <string>

namespace vocalith::app {

// A rectangle in the window's client coordinates; right and bottom are
// outside it.
struct ViewRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    // Left and top edges inside, right and bottom edges outside.
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const ViewRect&) const = default;
};

class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // The text of an edit, a label or the voice combo's edit part: at most
    // maxCount - 1 characters.
    virtual std::string GetText(int id, int maxCount) = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    // The control's tooltip; empty removes it.
    virtual void SetToolTip(int id, const std::string& text) = 0;
    // True when `text` shows whole on one line of the status field.
    virtual bool FitsStatusLine(const std::string& /*text*/) { return true; }

    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // Combo boxes. Reset empties the list (and the voice combo's edit part).
    virtual void ComboReset(int id) = 0;
    // Adds an item (at its sorted place in a sorted combo); its index, or -1.
    virtual int ComboAddString(int id, const std::string& text) = 0;
    virtual void ComboSetItemData(int id, int index, intptr_t data) = 0;
    virtual intptr_t ComboGetItemData(int id, int index) = 0;
    // The current item, or -1.
    virtual int ComboGetCurSel(int id) = 0;
    // Selects an item without raising a selection-change event.
    virtual void ComboSetCurSel(int id, int index) = 0;

    // The PHON list (report style, sorted ascending by its first column).
    virtual void ListInsertColumn(int column, const std::string& title, int widthPixels) = 0;
    virtual void ListDeleteAll() = 0;
    // Inserts an item with `text` in column 0; returns the index where the
    // sorted list placed it, or -1.
    virtual int ListInsertItem(int position, const std::string& text) = 0;
    virtual void ListSetItemData(int index, intptr_t data) = 0;
    virtual void ListSetSubItemText(int index, int subItem, const std::string& text) = 0;
    virtual intptr_t ListGetItemData(int index) = 0;
    // The selected item, or -1.
    virtual int ListSelectedItem() = 0;

    // A modal Yes/No question; true only for Yes. Enter answers it with the
    // default button: Yes, or No when `defaultNo` (Yes would throw work away).
    virtual bool AskYesNo(const std::string& text, const std::string& title,
                          bool defaultNo = false) = 0;
    // A modal message with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;

    // Modal file choices, starting in `folder`: a file to read, a file to
    // write (`file` suggests its name; replacing an existing one is
    // confirmed there), or a folder. `filter` lists the file kinds offered,
    // as "WAV files (*.wav)". Each returns the chosen path, or an empty text
    // when the user cancels.
    virtual std::string ChooseOpenFile(const std::string& title, const std::string& folder,
                                       const std::string& filter) = 0;
    virtual std::string ChooseSaveFile(const std::string& title, const std::string& file,
                                       const std::string& filter) = 0;
    virtual std::string ChooseFolder(const std::string& title, const std::string& folder) = 0;

    // Marks `rect` for repainting without erasing it first.
    virtual void InvalidateView(const ViewRect& rect) = 0;

    // Starts a periodic timer that calls the dialog's OnTimer; returns its id.
    virtual unsigned SetTimer(unsigned id, int periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;

    // The wave frame's rectangle in client coordinates.
    virtual ViewRect WaveFrameRect() = 0;

    // Closes the window (the close box or the cancel command).
    virtual void EndDialog(int result) = 0;
    // Runs the About box modally.
    virtual void ShowAbout() = 0;
};

}  // namespace vocalith::app
