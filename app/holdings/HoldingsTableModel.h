#pragma once

// The holdings rows as a table: one row per holding, fourteen columns, display texts
// formatted for the selected language and locale, raw values and picker options under the cell roles.
// Edits in the editing row go straight into the working copy; the editor says which row that is.

#include "app/holdings/AssetColumns.h"

#include <QAbstractTableModel>
#include <QPalette>

namespace quillfern {

class HoldingRows;
class HoldingsEditor;

class HoldingsTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit HoldingsTableModel(HoldingsEditor &editor, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The row showing the holding with this id, or -1.
    int rowOf(const QString &id) const;
    QString idAt(int row) const;
    void setPalette(const QPalette &palette);

private:
    void refreshRows(int first, int last, int firstColumn, int lastColumn);
    void onEditingChanged();
    QString languageCode() const;

    HoldingRows &m_holdings;
    HoldingsEditor &m_editor;
    int m_count = 0;
    QPalette m_palette;
    std::optional<QString> m_shownSelected;
    std::optional<QString> m_shownEditing;
};

} // namespace quillfern
