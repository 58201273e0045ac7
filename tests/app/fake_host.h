#pragma once
// A DialogHost and a DialogAudio that record what the dialog asks of them,
// in one shared log, so tests can check texts and the order of operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog_audio.h"
#include "app/dialog_host.h"
#include "app/dialog_template.h"

namespace vocalith::app::testing {

inline bool SortsBefore(const std::string& a, const std::string& b) {
    std::string la = a, lb = b;
    for (auto& c : la) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto& c : lb) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (la != lb) return la < lb;
    return a > b;
}

struct FakeItem {
    std::string text;
    intptr_t data = 0;
    std::map<int, std::string> sub;
};

struct FakeCombo {
    std::vector<FakeItem> items;
    int cur = -1;
    std::string edit;
    bool sorted = false;
};

class FakeHost : public DialogHost {
  public:
    std::vector<std::string>& log;
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, FakeCombo> combos;
    std::vector<FakeItem> list;
    std::vector<std::pair<std::string, int>> columns;
    int selected = -1;
    std::map<int, std::string> tooltips;
    std::deque<bool> answers;  // the answers to the next questions, in order
    std::vector<std::pair<std::string, std::string>> questions;  // text, title
    std::vector<bool> defaultNos;  // each question's default: true for No
    std::map<int, int> lastReadCount;
    ViewRect frame{10, 26, 484, 161};
    int invalidations = 0;
    bool timerRunning = false;
    std::vector<int> ended;
    int aboutShown = 0;

    explicit FakeHost(std::vector<std::string>& sharedLog) : log(sharedLog) {
        combos[IDC_VOICE].sorted = true;
        texts[IDC_STATUS] = kWelcomeText;
    }

    std::string GetText(int id, int maxCount) override {
        lastReadCount[id] = maxCount;
        std::string t = id == IDC_VOICE ? combos[id].edit : texts[id];
        if (static_cast<int>(t.size()) > maxCount - 1) t.resize(static_cast<size_t>(maxCount - 1));
        return t;
    }
    void SetText(int id, const std::string& text) override {
        if (id == IDC_VOICE) {
            combos[id].edit = text;
        } else {
            texts[id] = text;
        }
        if (id == IDC_STATUS) log.push_back("status:" + text);
        if (id == IDC_SELECTION) log.push_back("selection:" + text);
    }
    void SetToolTip(int id, const std::string& text) override { tooltips[id] = text; }
    bool IsChecked(int id) override { return checks[id]; }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    void ComboReset(int id) override {
        combos[id].items.clear();
        combos[id].cur = -1;
        combos[id].edit.clear();
    }
    int ComboAddString(int id, const std::string& text) override {
        FakeCombo& c = combos[id];
        size_t at = c.items.size();
        if (c.sorted) {
            at = 0;
            while (at < c.items.size() && !SortsBefore(text, c.items[at].text)) ++at;
        }
        c.items.insert(c.items.begin() + static_cast<long>(at), FakeItem{text, 0, {}});
        return static_cast<int>(at);
    }
    void ComboSetItemData(int id, int index, intptr_t data) override {
        combos[id].items.at(static_cast<size_t>(index)).data = data;
    }
    intptr_t ComboGetItemData(int id, int index) override {
        return combos[id].items.at(static_cast<size_t>(index)).data;
    }
    int ComboGetCurSel(int id) override { return combos[id].cur; }
    void ComboSetCurSel(int id, int index) override { combos[id].cur = index; }
    void ListInsertColumn(int, const std::string& title, int width) override {
        columns.emplace_back(title, width);
    }
    void ListDeleteAll() override {
        list.clear();
        selected = -1;
        log.push_back("list:clear");
    }
    int ListInsertItem(int, const std::string& text) override {
        size_t at = 0;
        while (at < list.size() && !SortsBefore(text, list[at].text)) ++at;
        list.insert(list.begin() + static_cast<long>(at), FakeItem{text, 0, {}});
        return static_cast<int>(at);
    }
    void ListSetItemData(int index, intptr_t data) override {
        list.at(static_cast<size_t>(index)).data = data;
    }
    void ListSetSubItemText(int index, int sub, const std::string& text) override {
        list.at(static_cast<size_t>(index)).sub[sub] = text;
    }
    intptr_t ListGetItemData(int index) override {
        return list.at(static_cast<size_t>(index)).data;
    }
    int ListSelectedItem() override { return selected; }
    bool AskYesNo(const std::string& text, const std::string& title,
                  bool defaultNo = false) override {
        questions.emplace_back(text, title);
        defaultNos.push_back(defaultNo);
        log.push_back("ask:" + title + ":" + text);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return false;
        }
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowMessage(const std::string& text, const std::string& title) override {
        log.push_back("message:" + title + ":" + text);
    }
    // The paths the next file choices return ("" = cancelled), in order.
    std::deque<std::string> chosenPaths;
    std::string NextPath(const std::string& what) {
        log.push_back(what);
        if (chosenPaths.empty()) return {};
        std::string path = chosenPaths.front();
        chosenPaths.pop_front();
        return path;
    }
    std::string ChooseOpenFile(const std::string&, const std::string& folder,
                               const std::string&) override {
        return NextPath("open:" + folder);
    }
    std::string ChooseSaveFile(const std::string&, const std::string& file,
                               const std::string&) override {
        return NextPath("save:" + file);
    }
    std::string ChooseFolder(const std::string&, const std::string& folder) override {
        return NextPath("folder:" + folder);
    }
    void InvalidateView(const ViewRect&) override {
        ++invalidations;
        log.push_back("invalidate");
    }
    unsigned SetTimer(unsigned id, int periodMs) override {
        timerRunning = true;
        log.push_back("settimer:" + std::to_string(id) + ":" + std::to_string(periodMs));
        return id;
    }
    void KillTimer(unsigned id) override {
        timerRunning = false;
        log.push_back("killtimer:" + std::to_string(id));
    }
    ViewRect WaveFrameRect() override { return frame; }
    void EndDialog(int result) override { ended.push_back(result); }
    void ShowAbout() override { ++aboutShown; }

    // The index of the list item that carries phoneme `code`.
    int ItemOfCode(int code) const {
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].data == code) return static_cast<int>(i);
        }
        return -1;
    }
};

class FakeAudio : public DialogAudio {
  public:
    std::vector<std::string>& log;
    bool createSucceeds = true;
    bool monitor = false;
    std::function<void()> onPump;  // runs inside Pump (e.g. a buffer filling up)
    int32_t inputPeak = 0;         // what TakeInputPeak reports
    StatusNote notice;             // what TakeNotice reports once
    int gain = DEFAULT_INPUT_GAIN;
    bool busy = true;  // what PumpBusy reports

    explicit FakeAudio(std::vector<std::string>& sharedLog) : log(sharedLog) {}
    void ResetEffectNames() override { log.push_back("audio:ResetEffectNames"); }
    bool CreateSoundWindow() override {
        log.push_back("audio:CreateSoundWindow");
        return createSucceeds;
    }
    void StartDevices() override { log.push_back("audio:StartDevices"); }
    void Pump() override {
        log.push_back("audio:Pump");
        if (onPump) onPump();
    }
    bool PumpBusy() override { return busy; }
    void StopCapture() override { log.push_back("audio:StopCapture"); }
    void StopSpeechPlay() override { log.push_back("audio:StopSpeechPlay"); }
    void ShutdownAudio() override { log.push_back("audio:ShutdownAudio"); }
    void DestroySoundWindow() override { log.push_back("audio:DestroySoundWindow"); }
    void SetMonitorEnabled(bool on) override { monitor = on; }
    bool MonitorEnabled() override { return monitor; }
    int32_t TakeInputPeak() override { return inputPeak; }
    int InputGainFactor() override { return gain; }
    void SetInputGainFactor(int factor) override { gain = factor; }
    int32_t GateInputPeak() override { return 467; }
    StatusNote TakeNotice() override { return std::exchange(notice, {}); }
    int PlayEffectByName(const char* name, int mode) override {
        log.push_back(std::string("audio:PlayEffectByName:") + name + ":" + std::to_string(mode));
        return -1;
    }
};

}  // namespace vocalith::app::testing
