#pragma once

#include <QRect>
#include <memory>
#include <vector>

#include "CBaseDialog.h"

// An owning list of objects that never holds the same one twice.
template <class T>
class CArrayList {
  public:
    // Appends and returns the new index; an object already in the list is
    // not added again (0 is returned and the caller keeps ownership).
    int Add(std::unique_ptr<T>& object) {
        for (const auto& have : m_items) {
            if (have.get() == object.get()) {
                return 0;
            }
        }
        m_items.push_back(std::move(object));
        return static_cast<int>(m_items.size()) - 1;
    }
    // Removes (and destroys) the entries first..first+count-1, last first.
    void RemoveAt(int first, int count) {
        for (int i = first + count - 1; i >= first; --i) {
            if (i >= 0 && i < Size()) {
                m_items[static_cast<size_t>(i)].reset();
                m_items.erase(m_items.begin() + i);
            }
        }
    }
    void RemoveAll() { RemoveAt(0, Size()); }
    ~CArrayList() { RemoveAll(); }

    int Size() const { return static_cast<int>(m_items.size()); }
    T* At(int i) const {
        return i >= 0 && i < Size() ? m_items[static_cast<size_t>(i)].get() : nullptr;
    }

  private:
    std::vector<std::unique_ptr<T>> m_items;
};

// The main window's pages, in the order of the page buttons.
class CBaseDialogList : public CArrayList<CBaseDialog> {
  public:
    // Creates every page inside `parent`, shows the first, hides the others,
    // then lays them all over `rect`.
    void CreateAll(const QRect& rect, QWidget* parent);
    void MoveAll(const QRect& rect);
    void ShowOnly(int index);
    void ShowOnlyPage(CBaseDialog* page);
    void HideAll();
};
