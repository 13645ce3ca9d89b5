// An ordered list of byte strings, optionally kept sorted (byte order) and
// optionally refusing duplicates when sorted.
#pragma once

#include <string>
#include <vector>

class TStringList {
public:
    int Count() const { return static_cast<int>(Items.size()); }
    const std::string& operator[](int index) const { return Items.at(static_cast<size_t>(index)); }
    const std::string& Strings(int index) const { return Items.at(static_cast<size_t>(index)); }
    void SetString(int index, const std::string& s) { Items.at(static_cast<size_t>(index)) = s; }

    // Appends (or, when Sorted, inserts in order); returns the index.
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { Items.clear(); }
    int IndexOf(const std::string& s) const;

    bool Sorted() const { return SortedFlag; }
    void SetSorted(bool value);

    // All strings joined, each followed by CR LF.
    std::string Text() const;

    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }

private:
    std::vector<std::string> Items;
    bool SortedFlag = false;
};
