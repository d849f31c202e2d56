#pragma once

// A workspace harness with the holdings editor a page would give it, for tests that edit rows.

#include "app/holdings/HoldingsEditor.h"
#include "tests/workspace/WorkspaceHarness.h"

namespace quillfern::testing {

class EditingHarness : public WorkspaceHarness {
public:
    void open(const QUrl &service, const QString &token = {}, WebAuthenticationSessionFactory sheets = {})
    {
        editor.reset();
        WorkspaceHarness::open(service, token, std::move(sheets));
        editor = std::make_unique<HoldingsEditor>(*workspace, workspace->undoStack());
    }

    std::unique_ptr<HoldingsEditor> editor;
};

// Adds a row and types a holding into it the way the row editor does, then saves the row.
inline void typeHolding(HoldingsEditor &e, const QString &code, double quantity, double average)
{
    HoldingRows &w = e.rows();
    const QString id = e.addRow();
    AssetRow row = w.rows().last();
    row.code = code;
    row.quantity = quantity;
    row.averagePrice = average;
    w.updateRow(id, row);
    e.saveEditingRow();
}

} // namespace quillfern::testing
