// The configuration's log lines, through the real process-wide log (once per process, so this
// program holds a single test).
#include <gtest/gtest.h>

#include <string>

#include "app/config_imp.h"
#include "tests/support/test_support.h"
#include "utility/log.h"

namespace {

// Number of log lines written under the tag whose message is exactly the text.
std::size_t linesWith(const std::string& log, const std::string& tag, const std::string& message) {
    const std::string tagField = "\t" + tag + "\t(";
    const std::string tail = "):" + message;
    std::size_t count = 0;
    std::size_t begin = 0;
    for (auto end = log.find("\r\n"); end != std::string::npos; end = log.find("\r\n", begin)) {
        const std::string line = log.substr(begin, end - begin);
        if (line.find(tagField) != std::string::npos && line.ends_with(tail)) ++count;
        begin = end + 2;
    }
    return count;
}

TEST(ConfigImpLog, EditionAndJumpUrlChangesAreLoggedUnderTheirTags) {
    testing_support::TempDir dir;
    const std::wstring path = dir.path() + L"downloader.log";
    initUtilities();
    openLogFile(path);

    ConfigImp config;
    config.setPlayer4();
    config.setPlayer64();
    config.setPlayer3();  // editions 3 and 9 are selected silently
    config.setPlayer9();
    config.setJumpUrl(L"https://event.tamrix.test/a");
    EXPECT_EQ(config.getHomePage2(), L"https://event.tamrix.test/a");
    closeLogFile();

    const std::string log = testing_support::readFileBytes(path);
    EXPECT_EQ(linesWith(log, "ConfigImp::setPlayer4", "player is 4"), 1u) << log;
    EXPECT_EQ(linesWith(log, "ConfigImp::setPlayer64", "player is 64"), 1u) << log;
    EXPECT_EQ(linesWith(log, "ConfigImp::setJumpUrl", "jump url is:https://event.tamrix.test/a"),
              1u)
        << log;
    EXPECT_EQ(linesWith(log, "ConfigImp::getHomePage2", "jump url: https://event.tamrix.test/a"),
              1u)
        << log;
    // Nothing else: selecting edition 3 or 9 writes no line.
    std::size_t configLines = 0;
    for (auto at = log.find("\tConfigImp::"); at != std::string::npos;
         at = log.find("\tConfigImp::", at + 1)) {
        ++configLines;
    }
    EXPECT_EQ(configLines, 4u) << log;
}

}  // namespace
