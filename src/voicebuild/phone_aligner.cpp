#include "voicebuild/phone_aligner.h"

#include <err.h>
#include <fsg_model.h>
#include <pocketsphinx.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>

#include "voice/phoneme_inventory.h"
#include "voicebuild/sphinx_decoder.h"

namespace vocalith::voicebuild {

namespace fs = std::filesystem;

namespace {

// Model phones by phoneme code. AX has no phone of its own in the model (it
// is the unstressed "ah"); WH is spoken as "w" by most speakers.
constexpr std::array<const char*, voice::PHONEME_COUNT> kModelPhones = {{
    "iy", "ih", "ey", "eh", "ae", "aa", "ao", "ow", "uh", "uw", "er", "ah", "ah", "ay",
    "aw", "oy", "p",  "b",  "t",  "d",  "k",  "g",  "f",  "v",  "th", "dh", "s",  "z",
    "sh", "zh", "hh", "m",  "n",  "ng", "l",  "w",  "y",  "r",  "ch", "jh", "w",  nullptr,
}};

// Every phone of the model, each a word of the decoder's dictionary.
constexpr const char* kAllPhones[] = {"aa", "ae", "ah", "ao", "aw", "ay", "b",  "ch", "d",  "dh",
                                      "eh", "er", "ey", "f",  "g",  "hh", "ih", "iy", "jh", "k",
                                      "l",  "m",  "n",  "ng", "ow", "oy", "p",  "r",  "s",  "sh",
                                      "t",  "th", "uh", "uw", "v",  "w",  "y",  "z",  "zh"};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s;
}

}  // namespace

ps_decoder_t* StartDecoder(cmd_ln_t* config) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    return ps_init(config);
}

const char* ModelPhone(int code) {
    if (code < 0 || code >= voice::PHONEME_COUNT) return nullptr;
    return kModelPhones[static_cast<size_t>(code)];
}

fs::path FindAcousticModel() {
    std::error_code ec;
    const auto usable = [&](const fs::path& dir) {
        return fs::is_regular_file(dir / "mdef", ec) && fs::is_regular_file(dir / "means", ec);
    };
    if (const char* env = std::getenv("VOCALITH_ACOUSTIC_MODEL"); env && *env) {
        return usable(env) ? fs::path(env) : fs::path();
    }
    const fs::path debian = "/usr/share/pocketsphinx/model/en-us/en-us";
    return usable(debian) ? debian : fs::path();
}

PhoneAligner::PhoneAligner() : model_(FindAcousticModel()) {
    if (model_.empty()) {
        note_ =
            "no acoustic model for alignment (install pocketsphinx-en-us, or set "
            "VOCALITH_ACOUSTIC_MODEL): cutting by loudness alone";
        return;
    }
    if (void* ps = Start()) {
        ps_free(static_cast<ps_decoder_t*>(ps));
    } else {
        note_ = "the acoustic model at " + model_.string() +
                " could not be loaded: cutting by loudness alone";
        model_.clear();
    }
}

void* PhoneAligner::Start(bool wide) const {
    // An empty dictionary; the phones are added as words below. Batch
    // cepstral mean normalisation, since every recording is one whole word;
    // no silences or noises between the phones of the grammar.
    cmd_ln_t* config =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model_.c_str(), "-dict", "/dev/null",
                    "-samprate", "16000", "-cmn", "batch", "-bestpath", "no", "-fsgusefiller", "no",
                    "-beam", wide ? "1e-100" : "1e-48", "-pbeam", wide ? "1e-100" : "1e-48",
                    "-wbeam", wide ? "1e-80" : "7e-29", nullptr);
    if (!config) return nullptr;
    ps_decoder_t* ps = StartDecoder(config);
    cmd_ln_free_r(config);
    if (!ps) return nullptr;
    for (const char* phone : kAllPhones) ps_add_word(ps, phone, Upper(phone).c_str(), FALSE);
    ps_add_word(ps, "sil", "SIL", FALSE);
    return ps;
}

bool PhoneAligner::Run(void* decoder, std::span<const int16_t> samples) {
    auto* ps = static_cast<ps_decoder_t*>(decoder);
    if (ps_set_search(ps, "word") < 0 || ps_start_utt(ps) < 0) return false;
    // Stretches of exact zeros (a recording gated by the sound server, or
    // made by a program) have no log energy; the model's features break
    // down on them and the alignment with them. Zero samples get a fixed
    // dither of a step, which keeps every frame finite and the cut
    // repeatable, and leaves a recording with a noise floor as it is.
    std::vector<int16_t> dithered(samples.begin(), samples.end());
    uint32_t noise = 1;
    for (int16_t& v : dithered) {
        noise = noise * 1664525u + 1013904223u;
        if (v == 0) v = (noise >> 31) ? 1 : -1;
    }
    ps_process_raw(ps, dithered.data(), dithered.size(), FALSE, TRUE);
    ps_end_utt(ps);
    return true;
}

std::vector<int> PhoneAligner::ClosestWords(std::span<const int16_t> samples,
                                            const std::vector<std::vector<std::string>>& words,
                                            bool two, int64_t* score) {
    std::vector<int> out;
    if (model_.empty() || samples.empty() || words.empty()) return out;
    std::unique_ptr<ps_decoder_t, int (*)(ps_decoder_t*)> owner(
        static_cast<ps_decoder_t*>(Start(true)), ps_free);
    ps_decoder_t* ps = owner.get();
    if (!ps) return out;
    // Each word enters the dictionary whole, so that its phones are heard
    // in their context within it, as the model was trained. The grammar is
    // "[ sil ] word [ word ] [ sil ]": state 2 follows the first word,
    // state 4 the second, state 3 is final.
    fsg_model_t* fsg = fsg_model_init("word", ps_get_logmath(ps), 1.0f, 5);
    fsg->start_state = 0;
    fsg->final_state = 3;
    const int32 sil = fsg_model_word_add(fsg, "sil");
    fsg_model_trans_add(fsg, 0, 1, 0, sil);
    fsg_model_null_trans_add(fsg, 0, 1, 0);
    fsg_model_trans_add(fsg, 2, 3, 0, sil);
    fsg_model_null_trans_add(fsg, 2, 3, 0);
    if (two) {
        fsg_model_trans_add(fsg, 4, 3, 0, sil);
        fsg_model_null_trans_add(fsg, 4, 3, 0);
    }
    for (size_t i = 0; i < words.size(); ++i) {
        std::string pronunciation;
        for (const std::string& phone : words[i]) pronunciation += Upper(phone) + " ";
        const std::string name = "word" + std::to_string(i);
        if (pronunciation.empty() ||
            ps_add_word(ps, name.c_str(), pronunciation.c_str(), FALSE) < 0)
            continue;
        const int32 word = fsg_model_word_add(fsg, name.c_str());
        fsg_model_trans_add(fsg, 1, 2, 0, word);
        if (two) fsg_model_trans_add(fsg, 2, 4, 0, word);
    }
    const int set = ps_set_fsg(ps, "word", fsg);
    fsg_model_free(fsg);
    if (set < 0 || !Run(ps, samples)) return out;
    int32 best = 0;
    ps_get_hyp(ps, &best);
    if (score) *score = best;
    for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg)) {
        const std::string word = ps_seg_word(seg);
        if (word.rfind("word", 0) == 0) out.push_back(std::atoi(word.c_str() + 4));
    }
    return out;
}

std::vector<AlignedPhone> PhoneAligner::Align(std::span<const int16_t> samples,
                                              const std::vector<std::string>& phones) {
    std::vector<AlignedPhone> out;
    if (model_.empty() || phones.empty() || samples.empty()) return out;
    // A fresh decoder for every word: one carries its normalisation and
    // search state from word to word, which shifts later alignments.
    std::unique_ptr<ps_decoder_t, int (*)(ps_decoder_t*)> owner(static_cast<ps_decoder_t*>(Start()),
                                                                ps_free);
    ps_decoder_t* ps = owner.get();
    if (!ps) return out;
    // The grammar "[ sil ] phone1 ... phoneN [ sil ]" as a finite-state
    // graph: state i+1 follows phone i, and a null arc skips each silence.
    const auto n = static_cast<int32>(phones.size());
    fsg_model_t* fsg = fsg_model_init("word", ps_get_logmath(ps), 1.0f, n + 3);
    fsg->start_state = 0;
    fsg->final_state = n + 2;
    const int32 sil = fsg_model_word_add(fsg, "sil");
    fsg_model_trans_add(fsg, 0, 1, 0, sil);
    fsg_model_null_trans_add(fsg, 0, 1, 0);
    for (int32 i = 0; i < n; ++i)
        fsg_model_trans_add(fsg, i + 1, i + 2, 0,
                            fsg_model_word_add(fsg, phones[size_t(i)].c_str()));
    fsg_model_trans_add(fsg, n + 1, n + 2, 0, sil);
    fsg_model_null_trans_add(fsg, n + 1, n + 2, 0);
    // The search keeps its own reference to the graph.
    const int set = ps_set_fsg(ps, "word", fsg);
    fsg_model_free(fsg);
    if (set < 0 || !Run(ps, samples)) return out;
    for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg)) {
        AlignedPhone phone;
        phone.phone = ps_seg_word(seg);
        ps_seg_frames(seg, &phone.firstFrame, &phone.lastFrame);
        if (phone.phone == "<sil>" || phone.phone == "(NULL)") phone.phone = "sil";
        out.push_back(std::move(phone));
    }
    return out;
}

}  // namespace vocalith::voicebuild
