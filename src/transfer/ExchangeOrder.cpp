#include "transfer/ExchangeOrder.h"

#include <algorithm>
#include <numeric>

std::vector<int> ExchangeSortOrder(int Count, const std::function<bool(int, int)>& Less) {
    const auto n = static_cast<size_t>(std::max(Count, 0));
    std::vector<int> byKey(n);
    std::iota(byKey.begin(), byKey.end(), 0);
    std::stable_sort(byKey.begin(), byKey.end(), Less);
    // Equal keys share a rank: the exchange pass only ever compares keys.
    std::vector<int> rank(n);
    for (size_t k = 1; k < n; ++k)
        rank[static_cast<size_t>(byKey[k])] =
            rank[static_cast<size_t>(byKey[k - 1])] + (Less(byKey[k - 1], byKey[k]) ? 1 : 0);
    std::vector<int> row(n);
    std::iota(row.begin(), row.end(), 0);
    for (size_t i = 0; i + 1 < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (rank[i] > rank[j]) {
                std::swap(rank[i], rank[j]);
                std::swap(row[i], row[j]);
            }
    return row;
}
