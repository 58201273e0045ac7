#include "voicebuild/voice_hearing.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "translate/translate.h"
#include "voice/phonetic_render.h"
#include "voicebuild/phone_aligner.h"
#include "voicebuild/sphinx_decoder.h"
#include "wave/rate_converter.h"

namespace vocalith::voicebuild {

namespace fs = std::filesystem;

namespace {

// Harvard lists 2, 3, 5, 6, 7, 9, 10, 12, 13 and 14: phonetically balanced
// sentences (IEEE, 1969, public domain) that no voice was shaped on.
const std::vector<std::string> kSentences = {
    "The boy was there when the sun rose.",
    "A rod is used to catch pink salmon.",
    "The source of the huge river is the clear spring.",
    "Kick the ball straight and follow through.",
    "Help the woman get back to her feet.",
    "A pot of tea helps to pass the evening.",
    "Smoky fires lack flame and heat.",
    "The soft cushion broke the man's fall.",
    "The salt breeze came across from the sea.",
    "The girl at the booth sold fifty bonds.",
    "The small pup gnawed a hole in the sock.",
    "The fish twisted and turned on the bent hook.",
    "Press the pants and sew a button on the vest.",
    "The swan dive was far short of perfect.",
    "The beauty of the view stunned the young boy.",
    "Two blue fish swam in the tank.",
    "Her purse was full of useless trash.",
    "The colt reared and threw the tall rider.",
    "It snowed, rained, and hailed the same morning.",
    "Read verse out loud for pleasure.",
    "A king ruled the state in the early days.",
    "The ship was torn apart on the sharp reef.",
    "Sickness kept him home the third week.",
    "The wide road shimmered in the hot sun.",
    "The lazy cow lay in the cool grass.",
    "Lift the square stone over the fence.",
    "The rope will bind the seven books at once.",
    "Hop over the fence and plunge in.",
    "The friendly gang left the drug store.",
    "Mesh wire keeps chicks inside.",
    "The frosty air passed through the coat.",
    "The crooked maze failed to fool the mouse.",
    "Adding fast leads to wrong sums.",
    "The show was a flop from the very start.",
    "A saw is a tool used for making boards.",
    "The wagon moved on well oiled wheels.",
    "March the soldiers past the next hill.",
    "A cup of sugar makes sweet fudge.",
    "Place a rosebush near the porch steps.",
    "Both lost their lives in the raging storm.",
    "We talked of the slide show in the circus.",
    "Use a pencil to write the first draft.",
    "He ran half way to the hardware store.",
    "The clock struck to mark the third period.",
    "A small creek cut across the field.",
    "Cars and busses stalled in snow drifts.",
    "The set of china hit the floor with a crash.",
    "This is a grand season for hikes on the road.",
    "The dune rose from the edge of the water.",
    "Those words were the cue for the actor to leave.",
    "The Navy attacked the big task force.",
    "See the cat glaring at the scared mouse.",
    "There are more than two factors here.",
    "The hat brim was wide and too droopy.",
    "The lawyer tried to lose his case.",
    "The grass curled around the fence post.",
    "Cut the pie into large parts.",
    "Men strive but seldom get rich.",
    "Always close the barn door tight.",
    "He lay prone and hardly moved a limb.",
    "The slush lay deep along the street.",
    "A wisp of cloud hung in the blue air.",
    "A pound of sugar costs more than eggs.",
    "The fin was sharp and cut the clear water.",
    "The play seems dull and quite stupid.",
    "Bail the boat, to stop it from sinking.",
    "The term ended in late June that year.",
    "A tusk is used to make costly gifts.",
    "Ten pins were set in order.",
    "The bill was paid every third week.",
    "The bark of the pine tree was shiny and dark.",
    "Leaves turn brown and yellow in the fall.",
    "The pennant waved when the wind blew.",
    "Split the log with a quick, sharp blow.",
    "Burn peat after the logs give out.",
    "He ordered peach pie with ice cream.",
    "Weave the carpet on the right hand side.",
    "Hemp is a weed found in parts of the tropics.",
    "A lame back kept his score low.",
    "We find joy in the simplest things.",
    "Type out three lists of orders.",
    "The harder he tried the less he got done.",
    "The boss ran the show with a watchful eye.",
    "The cup cracked and spilled its contents.",
    "Paste can cleanse the most dirty brass.",
    "The slang word for raw whiskey is booze.",
    "It caught its hind paw in a rusty trap.",
    "The wharf could be seen at the farther shore.",
    "Feel the heat of the weak dying flame.",
    "The tiny girl took off her hat.",
    "A cramp is no small danger on a swim.",
    "He said the same phrase thirty times.",
    "Pluck the bright rose without leaves.",
    "Two plus seven is less than ten.",
    "The glow deepened in the eyes of the sweet girl.",
    "Bring your problems to the wise chief.",
    "Write a fond note to the friend you cherish.",
    "Clothes and lodging are free to new men.",
    "We frown when events take a bad turn.",
    "Port is a strong wine with a smoky taste.",
};

constexpr double PEAK_DBFS = -3;
constexpr double NOISE_DBFS = -50;
constexpr double FULL_SCALE = 32767;
// The voice's rate; the model hears 16 kHz.
constexpr uint32_t VOICE_RATE = 11025;

// A file that lives in memory only, readable by name through /proc; -1 when
// it could not be made.
int MemoryFile(const char* name, const std::string& bytes) {
    const int fd = memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) return -1;
    size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        at += size_t(n);
    }
    return fd;
}

std::string FdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// The pronunciation dictionary beside the acoustic model: Debian keeps it in
// the model's parent folder.
fs::path FindDictionary(const fs::path& model) {
    std::error_code ec;
    for (const fs::path& dir : {model, model.parent_path()}) {
        if (fs::is_regular_file(dir / "cmudict-en-us.dict", ec)) return dir / "cmudict-en-us.dict";
    }
    return {};
}

// The lines of `dictionary` that spell out a word of `words` (alternative
// pronunciations, "word(2)", included).
std::string DictionaryFor(const fs::path& dictionary, const std::set<std::string>& words) {
    std::ifstream in(dictionary);
    std::string out, line;
    while (std::getline(in, line)) {
        const size_t end = line.find_first_of(" \t(");
        if (end != std::string::npos && words.count(line.substr(0, end))) out += line + "\n";
    }
    return out;
}

// The listening condition: 16 kHz, the peak at -3 dBFS, and a seeded white
// noise floor at -50 dBFS RMS, so the decoder never meets digital silence
// and every run hears the same.
std::vector<int16_t> ListeningCondition(std::span<const int16_t> voice, uint32_t seed) {
    const std::vector<int16_t> heard = wave::ResampleMono(voice, VOICE_RATE, ALIGN_SAMPLE_RATE);
    int peak = 0;
    for (const int16_t v : heard) peak = std::max(peak, std::abs(int(v)));
    const double gain = peak > 0 ? FULL_SCALE * std::pow(10.0, PEAK_DBFS / 20) / peak : 1;
    const double noise = FULL_SCALE * std::pow(10.0, NOISE_DBFS / 20);
    std::vector<int16_t> out(heard.size());
    uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
    const auto uniform = [&state] {  // (0, 1], xorshift64*
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return (double((state * 0x2545F4914F6CDD1Dull) >> 11) + 1) / 9007199254740992.0;
    };
    for (size_t i = 0; i < heard.size(); ++i) {
        // Box-Muller: a standard normal value from two uniform ones.
        const double normal =
            std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
        const double v = heard[i] * gain + normal * noise;
        out[i] = int16_t(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return out;
}

// The phonetic string of the words, as the voice speaks them.
std::string Phonetic(translate::Translator& translator, const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    std::vector<char> out(size_t(translate::UncutCapacity(text.size())), '\0');
    const int32_t length = translator.TranslateText(text.c_str(), out.data(), int32_t(out.size()));
    return std::string(out.data(), length > 0 ? size_t(length) : 0);
}

}  // namespace

std::vector<std::string> ListenerWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        const char lower = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        if ((lower >= 'a' && lower <= 'z') || lower == '\'') {
            word += lower;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::string BigramModel(const std::vector<std::string>& lines) {
    std::map<std::string, int> unigrams;
    std::map<std::string, std::map<std::string, int>> bigrams;
    for (const std::string& line : lines) {
        std::vector<std::string> tokens = ListenerWords(line);
        tokens.insert(tokens.begin(), "<s>");
        tokens.push_back("</s>");
        for (size_t i = 1; i < tokens.size(); ++i) {
            ++unigrams[tokens[i]];
            ++bigrams[tokens[i - 1]][tokens[i]];
        }
    }
    int total = 0;
    for (const auto& [w, n] : unigrams) total += n;
    std::map<std::string, double> p;
    for (const auto& [w, n] : unigrams) p[w] = double(n + 1) / double(total + int(unigrams.size()));
    constexpr double DISCOUNT = 0.5;
    std::map<std::string, double> backoff;
    std::string pairs;
    size_t pairCount = 0;
    char buf[256];
    const auto history = [&](const std::string& h) {
        const auto found = bigrams.find(h);
        if (found == bigrams.end()) {
            backoff[h] = 0;
            return;
        }
        int seen = 0;
        double seenMass = 0;
        for (const auto& [w, n] : found->second) seen += n;
        for (const auto& [w, n] : found->second) {
            std::snprintf(buf, sizeof buf, "%.4f %s %s\n", std::log10((n - DISCOUNT) / seen),
                          h.c_str(), w.c_str());
            pairs += buf;
            ++pairCount;
            seenMass += p[w];
        }
        const double left = DISCOUNT * double(found->second.size()) / seen;
        backoff[h] = std::log10(left / std::max(1e-9, 1 - seenMass));
    };
    history("<s>");
    for (const auto& [w, n] : unigrams) history(w);
    std::string out = "\\data\\\nngram 1=" + std::to_string(unigrams.size() + 1) +
                      "\nngram 2=" + std::to_string(pairCount) + "\n\n\\1-grams:\n";
    std::snprintf(buf, sizeof buf, "%.4f <s> %.4f\n", -99.0, backoff["<s>"]);
    out += buf;
    for (const auto& [w, n] : unigrams) {
        std::snprintf(buf, sizeof buf, "%.4f %s %.4f\n", std::log10(p[w]), w.c_str(), backoff[w]);
        out += buf;
    }
    return out + "\n\\2-grams:\n" + pairs + "\n\\end\\\n";
}

size_t WordErrors(const std::vector<std::string>& said, const std::vector<std::string>& heard) {
    std::vector<size_t> row(heard.size() + 1);
    for (size_t j = 0; j <= heard.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= said.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= heard.size(); ++j) {
            const size_t here = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (said[i - 1] == heard[j - 1] ? 0 : 1)});
            diagonal = row[j];
            row[j] = here;
        }
    }
    return row[heard.size()];
}

VoiceHearing::VoiceHearing() : model_(FindAcousticModel()) {
    if (model_.empty()) {
        note_ = "no acoustic model to hear the voice with (install pocketsphinx-en-us)";
        return;
    }
    const fs::path dictionary = FindDictionary(model_);
    if (dictionary.empty()) {
        note_ = "no pronunciation dictionary beside the acoustic model at " + model_.string();
        return;
    }
    std::set<std::string> words;
    for (const std::string& s : kSentences) {
        for (std::string& w : ListenerWords(s)) words.insert(std::move(w));
    }
    lmFd_ = MemoryFile("vocalith-bigram", BigramModel(kSentences));
    dictFd_ = MemoryFile("vocalith-dictionary", DictionaryFor(dictionary, words));
    if (lmFd_ < 0 || dictFd_ < 0) {
        note_ = "the sentences to hear the voice with could not be prepared";
        return;
    }
    available_ = true;
}

VoiceHearing::~VoiceHearing() {
    if (lmFd_ >= 0) close(lmFd_);
    if (dictFd_ >= 0) close(dictFd_);
}

double VoiceHearing::Misheard(const voice::PhonTable& table, const std::atomic<bool>* stop) const {
    if (!available_) return -1;
    const std::string lm = FdPath(lmFd_), dict = FdPath(dictFd_);
    translate::Translator translator;
    size_t errors = 0, said = 0;
    for (size_t i = 0; i < HEARD_SENTENCES; ++i) {
        if (stop && stop->load()) return -1;
        const std::vector<std::string> words = ListenerWords(kSentences[i]);
        const std::string phonetic = Phonetic(translator, words);
        const std::vector<int16_t> spoken = voice::RenderPhoneticToSamples(phonetic.c_str(), table);
        const std::vector<int16_t> heard = ListeningCondition(spoken, uint32_t(i));
        // A decoder of its own for each sentence: its running mean of the
        // cepstra starts afresh, as for a listener who hears one sentence.
        cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model_.c_str(), "-dict",
                                       dict.c_str(), "-lm", lm.c_str(), nullptr);
        if (!config) return -1;
        ps_decoder_t* ps = StartDecoder(config);
        cmd_ln_free_r(config);
        if (!ps) return -1;
        std::vector<std::string> got;
        if (ps_start_utt(ps) >= 0) {
            ps_process_raw(ps, heard.data(), heard.size(), FALSE, TRUE);
            ps_end_utt(ps);
            if (const char* hyp = ps_get_hyp(ps, nullptr)) got = ListenerWords(hyp);
        }
        ps_free(ps);
        errors += WordErrors(words, got);
        said += words.size();
    }
    return said ? 100.0 * double(errors) / double(said) : -1;
}

}  // namespace vocalith::voicebuild
