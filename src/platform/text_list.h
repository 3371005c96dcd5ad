// A growable, ordered list of texts, shared by reference: every holder sees every change.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/object.h"

namespace tintcheck {

class TextList : public Object {
public:
    std::size_t Count() const noexcept { return mItems.size(); }
    const std::string& operator[](std::size_t index) const { return mItems.at(index); }
    void Append(std::string item) { mItems.push_back(std::move(item)); }
    void RemoveAll() noexcept { mItems.clear(); }

    auto begin() const noexcept { return mItems.begin(); }
    auto end() const noexcept { return mItems.end(); }
    const std::vector<std::string>& Items() const noexcept { return mItems; }

private:
    std::vector<std::string> mItems;
};

}  // namespace tintcheck
