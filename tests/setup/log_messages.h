#pragma once
// Reading a setup log back in tests: the layout is checked on the way.

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace setup_testing {

// The messages of a log file, in order: the file must start with the UTF-8
// byte-order mark, every line must end in CR LF and start with the 21-unit
// time stamp, which is removed.
inline std::vector<std::wstring> LogMessages(const std::wstring& path)
{
    const std::string bytes = testing_support::ReadBytes(path);
    std::vector<std::wstring> messages;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) {
        ADD_FAILURE() << "no byte-order mark";
        return messages;
    }
    size_t at = 3;
    while (at < bytes.size()) {
        const size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line without CR LF";
            break;
        }
        const std::wstring line = testing_support::FromUtf8(bytes.substr(at, end - at));
        EXPECT_GE(line.size(), 21u);
        EXPECT_EQ(line.substr(10, 2), L". ");
        EXPECT_EQ(line.substr(14, 1) + line.substr(17, 1), L"::");
        messages.push_back(line.size() >= 21 ? line.substr(21) : line);
        at = end + 2;
    }
    return messages;
}

}  // namespace setup_testing
