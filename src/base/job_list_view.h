#pragma once

#include <string>

namespace lingchao {

// The main window's job list (List1): display rows only, never the jobs themselves.
class JobListView {
public:
    virtual ~JobListView() = default;
    virtual void Clear() = 0;
    virtual void AddRow(const std::string& text) = 0;
    virtual int RowCount() const = 0;
    // -1 when no row is selected.
    virtual int SelectedRow() const = 0;
    // Selects a row; a row that does not exist is ignored.
    virtual void SelectRow(int row) = 0;
    virtual std::string RowText(int row) const = 0;
};

}  // namespace lingchao
