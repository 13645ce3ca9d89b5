// The order an exchange sort leaves a table in (every pair i < j compared
// once, in row order, rows i and j swapped when row i must follow row j),
// computed in O(n log n) comparisons of the rows plus an O(n^2) pass over
// integer ranks, so that large tables keep the exact order, ties included,
// that the plain procedure gives.
#pragma once

#include <functional>
#include <vector>

// Less(a, b): row a (0-based) goes before row b; a strict weak ordering.
// Returns, for every position, the row that ends up there.
std::vector<int> ExchangeSortOrder(int Count, const std::function<bool(int, int)>& Less);
