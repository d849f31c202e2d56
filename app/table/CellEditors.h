#pragma once

// The editing cells of a table row. Each one writes its value back the moment it changes (the row in the
// working copy is the binding) and traces what it does to the edit log under its field name.

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include <optional>

class QLabel;
class QToolButton;

namespace quillfern::table {

class EditingTextCell : public QLineEdit {
    Q_OBJECT

public:
    EditingTextCell(QString fieldName, QWidget *parent = nullptr);

    // The bound value changed elsewhere (or was stored after this field wrote it).
    void setValue(const QString &value);
    const QString &fieldName() const { return m_fieldName; }

Q_SIGNALS:
    void valueEdited(const QString &value);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QString m_fieldName;
    std::optional<QString> m_value;
};

class EditingNumberCell : public QWidget {
    Q_OBJECT

public:
    EditingNumberCell(QString fieldName, int precision, const QString &prefix, QWidget *parent = nullptr);

    void setValue(double value);
    double value() const { return m_value.value_or(0); }
    // The value the field binds: what it says when that reads as a number, else the value it had before
    // the refused typing began (none when nothing was typed).
    std::optional<double> typedValue() const;
    // Whether the field reads as a number in the user's locale. Text that does not is kept as typed and
    // marked in place (tint, tooltip, accessible description); the bound value keeps its last good number.
    bool isValid() const { return m_valid; }
    QLineEdit *field() const { return m_field; }
    QLabel *prefixLabel() const { return m_prefix; }

Q_SIGNALS:
    void valueEdited(double value);

protected:
    void changeEvent(QEvent *event) override;

private:
    void readTyped(const QString &text);
    void setValid(bool valid);
    void showValidity();

    QString m_fieldName;
    int m_precision;
    QLabel *m_prefix = nullptr;
    QLineEdit *m_field;
    std::optional<double> m_value;
    // The bound value when typing began, which refused text restores.
    std::optional<double> m_beforeTyping;
    bool m_valid = true;
};

class PickerCell : public QComboBox {
    Q_OBJECT

public:
    explicit PickerCell(QWidget *parent = nullptr);

    // Offers exactly options, each shown as the label at its place (as itself without labels); a value not
    // among them shows no entry selected. The value chosen is the option, never its label.
    void setOptions(const QStringList &options, const QString &value, const QStringList &labels = {});
    QString value() const { return currentData().toString(); }

Q_SIGNALS:
    void valueChosen(const QString &value);
};

// Save and cancel for the editing row; their tooltips and accessible names follow the widget's locale, which
// follows the interface language.
class EditRowActionsCell : public QWidget {
    Q_OBJECT

public:
    explicit EditRowActionsCell(QWidget *parent = nullptr);
    QToolButton *saveButton() const { return m_save; }
    QToolButton *cancelButton() const { return m_cancel; }

Q_SIGNALS:
    void saveRequested();
    void cancelRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QToolButton *m_save;
    QToolButton *m_cancel;
};

} // namespace quillfern::table
