#include "base/StringList.h"

#include <algorithm>
#include <stdexcept>

int TStringList::Add(const std::string& s) {
    if (SortedFlag) {
        auto index = std::upper_bound(Items.begin(), Items.end(), s) - Items.begin();
        Items.insert(Items.begin() + index, s);
        return static_cast<int>(index);
    }
    Items.push_back(s);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count()) throw std::out_of_range("TStringList::Insert: index out of bounds");
    Items.insert(Items.begin() + index, s);
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("TStringList::Delete: index out of bounds");
    Items.erase(Items.begin() + index);
}

int TStringList::IndexOf(const std::string& s) const {
    auto it = std::find(Items.begin(), Items.end(), s);
    return it == Items.end() ? -1 : static_cast<int>(it - Items.begin());
}

void TStringList::SetSorted(bool value) {
    SortedFlag = value;
    if (value) std::sort(Items.begin(), Items.end());
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto& s : Items) {
        out += s;
        out += "\r\n";
    }
    return out;
}
