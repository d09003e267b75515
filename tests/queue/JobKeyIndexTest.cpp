#include "queue/JobKeyIndex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

using queue::JobKey;
using queue::JobKeyIndex;

// Many keys coming and going make the table grow and close the gaps that
// removals leave in probe runs; counts must stay those of a plain map.
TEST(JobKeyIndex, CountsAgreeWithAPlainMapThroughGrowthAndRemovals) {
    std::mt19937 rng(99);
    JobKeyIndex index;
    std::map<std::tuple<int, int, int>, std::int64_t> model;
    std::map<std::tuple<int, int, int>, JobKey> keys;
    for (int a = 0; a < 40; ++a) {
        for (int b = 0; b < 60; ++b) {
            for (int c = 0; c < 3; ++c) {
                keys[{a, b, c}] =
                    JobKey{QStringLiteral("C:\\Dir%1").arg(a), QStringLiteral("f%1").arg(b),
                           QStringLiteral("D:\\T%1").arg(c)};
            }
        }
    }
    auto keyOf = [&](const std::tuple<int, int, int>& t) { return keys.at(t); };
    for (int step = 0; step < 30000; ++step) {
        const auto t = std::make_tuple(static_cast<int>(rng() % 40), static_cast<int>(rng() % 60),
                                       static_cast<int>(rng() % 3));
        const std::int64_t n = 1 + static_cast<std::int64_t>(rng() % 3);
        // Adds outweigh removals early on, then removals catch up.
        if (rng() % 100 < (step < 15000 ? 70u : 35u)) {
            index.Add(keyOf(t), n);
            model[t] += n;
        } else {
            index.Remove(keyOf(t), n);
            const auto it = model.find(t);
            if (it != model.end() && (it->second -= n) <= 0) model.erase(it);
        }
        if (step % 5000 == 0 || step == 29999) {
            ASSERT_EQ(index.Size(), model.size()) << "step " << step;
            for (const auto& [k, key] : keys) {
                const auto it = model.find(k);
                ASSERT_EQ(index.Count(key), it == model.end() ? 0 : it->second) << "step " << step;
            }
        }
    }
}

TEST(JobKeyIndex, KeysDifferingOnlyInCaseOrPlaceAreDistinct) {
    JobKeyIndex index;
    index.Add(JobKey{"C:\\Data", "a", "D:\\T"}, 1);
    EXPECT_TRUE(index.Contains(JobKey{"C:\\Data", "a", "D:\\T"}));
    EXPECT_FALSE(index.Contains(JobKey{"c:\\data", "a", "D:\\T"}));
    EXPECT_FALSE(index.Contains(JobKey{"C:\\Data", "", "aD:\\T"}));
    EXPECT_FALSE(index.Contains(JobKey{"C:\\Dataa", "", "D:\\T"}));
    index.Remove(JobKey{"C:\\Data", "a", "D:\\T"}, 5);
    EXPECT_FALSE(index.Contains(JobKey{"C:\\Data", "a", "D:\\T"}));
    index.Remove(JobKey{"never", "there", ""}, 1);
    EXPECT_EQ(index.Size(), 0u);
}
