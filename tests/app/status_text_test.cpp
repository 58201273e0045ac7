// Failure texts for the status line: paths out, the system's wording shortened.
#include "app/status_text.h"

#include <gtest/gtest.h>

namespace vocalith::app {
namespace {

TEST(StatusText, ReasonsBecomeShortWithoutPaths) {
    const std::string file = "/home/a b/voices/Mine.voc";
    struct Case {
        std::string reason;
        const char* shortText;
    };
    const Case cases[] = {
        {"cannot open " + file + ": No such file or directory", "no such file"},
        {"cannot create /home/a b/voices/.Mine.voc.x1: Not a directory",
         "a part of the path is not a folder"},
        {"cannot create voices folder /home/a b/voices: File exists",
         "cannot create voices folder: a file is in the way"},
        {"cannot create voices folder /home/a b/voices: it is a link, and its target /gone is not "
         "there",
         "cannot create voices folder: it is a link, and its target is not there"},
        {"voices/Mine.voc is read-only", "it is read-only"},
        {file + ": the file is 9 bytes long", "the file is 9 bytes long"},
    };
    for (const Case& c : cases) EXPECT_EQ(ShortReason(c.reason, file), c.shortText) << c.reason;
    EXPECT_EQ(ShownFileName(file), "voices/Mine.voc");
}

}  // namespace
}  // namespace vocalith::app
