// The exchange sort's order, reached through ranks, against the procedure
// itself: the same order for every table, ties included.
#include "transfer/ExchangeOrder.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

TEST(ExchangeOrder, SameOrderAsTheProcedureForTablesWithManyTies) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        const int n = static_cast<int>(random() % 60);
        std::vector<int> key(static_cast<size_t>(n));
        for (int& k : key) k = static_cast<int>(random() % (1 + round % 7));
        std::vector<int> rows(static_cast<size_t>(n));
        std::iota(rows.begin(), rows.end(), 0);
        for (size_t i = 0; i + 1 < rows.size(); ++i)
            for (size_t j = i + 1; j < rows.size(); ++j)
                if (key[static_cast<size_t>(rows[i])] > key[static_cast<size_t>(rows[j])]) std::swap(rows[i], rows[j]);
        EXPECT_EQ(ExchangeSortOrder(n, [&](int a, int b) { return key[static_cast<size_t>(a)] < key[static_cast<size_t>(b)]; }),
                  rows)
            << "round " << round;
    }
}
