#pragma once

// What a table model tells the shared cell delegate about each cell, beyond its display text.

#include <Qt>

namespace quillfern::table {

enum class CellKind {
    Blank,          // nothing drawn but the border
    ReadOnly,       // text, "-" when empty
    ReadOnlyNumber, // prefix + decimal(precision), in the cell's own colour when it has one
    Output,         // figure in the cell's own colour, no background
    RowActions,     // the delete button
    EditText,       // a text field
    EditNumber,     // prefix + number field
    Picker,         // a pop-up choice over OptionsRole
    EditRowActions, // save and cancel buttons
};

enum class RowLook { Plain, Selected, Editing };

enum CellRole {
    CellKindRole = Qt::UserRole + 1, // CellKind as int
    RowLookRole,                     // RowLook as int
    ValueRole,                       // the raw value: double for numbers, text otherwise
    OptionsRole,                     // QStringList for pickers
    PrefixRole,                      // text before a number
    PrecisionRole,                   // fraction digits of a number
    FieldNameRole,                   // the name an editing cell traces under
    HeaderTintRole,                  // QColor behind a header title
    SortRole,                        // what the column sorts by: double for figures, text otherwise
    OptionLabelsRole,                // QStringList: what a picker shows for each option, when not the option
};

inline bool isEditingKind(CellKind kind)
{
    return kind == CellKind::EditText || kind == CellKind::EditNumber || kind == CellKind::Picker ||
           kind == CellKind::EditRowActions;
}

} // namespace quillfern::table
