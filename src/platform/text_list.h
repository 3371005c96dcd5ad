// A growable, ordered list of texts, shared by reference: every holder sees every change.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "platform/object.h"

namespace tintcheck {

class TextList : public Object {
public:
    std::size_t Count() const noexcept { return mItems.size(); }
    const std::string& operator[](std::size_t index) const { return mItems.at(index); }
    void Append(std::string item) { mItems.push_back(std::move(item)); }
    void RemoveFirst() noexcept {
        if (!mItems.empty()) mItems.pop_front();
    }
    void RemoveAll() noexcept { mItems.clear(); }

    auto begin() const noexcept { return mItems.begin(); }
    auto end() const noexcept { return mItems.end(); }
    std::vector<std::string> Items() const { return {mItems.begin(), mItems.end()}; }

private:
    std::deque<std::string> mItems;
};

}  // namespace tintcheck
