// The folders of src/ are the layers, in the order the top-level
// CMakeLists.txt lists them: a file may include headers of its own folder and
// of folders listed before it, never of one listed after it. Qt is included
// only under app/qt and PortAudio only under device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Layers() {
    std::vector<std::string> layers;
    std::stringstream list(VOCALITH_LAYER_LIST);
    for (std::string layer; std::getline(list, layer, ',');) layers.push_back(layer);
    return layers;
}

// The index of the deepest layer that holds `path` (a path below src/), or -1.
int LayerOf(const std::vector<std::string>& layers, const std::string& path) {
    int best = -1;
    size_t bestLength = 0;
    for (size_t i = 0; i < layers.size(); ++i) {
        const std::string prefix = layers[i] + "/";
        if (path.rfind(prefix, 0) == 0 && prefix.size() > bestLength) {
            best = static_cast<int>(i);
            bestLength = prefix.size();
        }
    }
    return best;
}

// The header an #include line names, and '"' or '<' for its kind; 0 for any
// other line.
char IncludedHeader(const std::string& line, std::string& header) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') return 0;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0) return 0;
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos || (line[i] != '"' && line[i] != '<')) return 0;
    const char close = line[i] == '"' ? '"' : '>';
    const size_t end = line.find(close, i + 1);
    if (end == std::string::npos) return 0;
    header = line.substr(i + 1, end - i - 1);
    return line[i];
}

TEST(Layering, FoldersUseOnlyTheLayersBeneathThem) {
    const std::vector<std::string> layers = Layers();
    ASSERT_GT(layers.size(), 5u);
    const fs::path src = fs::path(VOCALITH_SOURCE_DIR) / "src";
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
        ++files;
        const std::string rel = fs::relative(entry.path(), src).generic_string();
        const int own = LayerOf(layers, rel);
        ASSERT_GE(own, 0) << rel << " lies in no layer";
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            std::string header;
            const char kind = IncludedHeader(line, header);
            const std::string where = rel + ":" + std::to_string(number);
            if (kind == '"') {
                const int used = LayerOf(layers, header);
                ASSERT_GE(used, 0) << where << " includes \"" << header << "\" from no layer";
                EXPECT_LE(used, own) << where << ": " << layers[own] << " uses " << layers[used]
                                     << ", a layer above it";
            } else if (kind == '<') {
                if (header.rfind("Q", 0) == 0 || header.rfind("qt", 0) == 0) {
                    EXPECT_EQ(layers[own], "app/qt") << where << " includes Qt";
                }
                if (header == "portaudio.h") {
                    EXPECT_EQ(layers[own], "device") << where << " includes PortAudio";
                }
            }
        }
    }
    EXPECT_GT(files, 50);
}

}  // namespace
