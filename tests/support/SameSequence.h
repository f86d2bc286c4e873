// Compares an expected sequence (posted messages, library calls, journal lines)
// with what happened, and names the first place where the two part.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <vector>

inline ::testing::AssertionResult SameSequence(const std::vector<std::string>& expected,
                                               const std::vector<std::string>& actual)
{
    for (size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
        const std::string wanted = i < expected.size() ? '"' + expected[i] + '"' : "the end";
        const std::string got = i < actual.size() ? '"' + actual[i] + '"' : "the end";
        if (wanted != got)
            return ::testing::AssertionFailure() << "item " << i << ": expected " << wanted << ", got " << got;
    }
    return ::testing::AssertionSuccess();
}
