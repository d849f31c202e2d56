#include "app/table/CellEditors.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "app/workspace/EditDebugLog.h"
#include "text/Formats.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace quillfern::table {

namespace {

void trace(const QString &kind, const QString &field, const QString &text)
{
    EditDebugLog::write(QStringLiteral("[Quillfern][Edit][") + kind + QStringLiteral("] ") + field + text);
}

} // namespace

EditingTextCell::EditingTextCell(QString fieldName, QWidget *parent)
    : QLineEdit(parent), m_fieldName(std::move(fieldName))
{
    setFrame(true);
    setPlaceholderText(QString());
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        trace(QStringLiteral("Binding"), m_fieldName, QStringLiteral(" <- ") + text);
        Q_EMIT valueEdited(text);
    });
    connect(this, &QLineEdit::returnPressed, this,
            [this] { trace(QStringLiteral("Commit"), m_fieldName, QStringLiteral(" value=") + text()); });
}

void EditingTextCell::setValue(const QString &value)
{
    if (m_value == value)
        return;
    if (m_value)
        trace(QStringLiteral("State"), m_fieldName, QStringLiteral(" = ") + value);
    m_value = value;
    if (text() != value)
        setText(value);
}

void EditingTextCell::focusInEvent(QFocusEvent *event)
{
    trace(QStringLiteral("Focus"), m_fieldName, QStringLiteral(" editing=true"));
    QLineEdit::focusInEvent(event);
}

void EditingTextCell::focusOutEvent(QFocusEvent *event)
{
    trace(QStringLiteral("Focus"), m_fieldName, QStringLiteral(" editing=false"));
    QLineEdit::focusOutEvent(event);
}

EditingNumberCell::EditingNumberCell(QString fieldName, int precision, const QString &prefix, QWidget *parent)
    : QWidget(parent), m_fieldName(std::move(fieldName)), m_precision(precision), m_field(new QLineEdit(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(editorInset, 0, editorInset, 0);
    layout->setSpacing(3);
    if (!prefix.isEmpty()) {
        m_prefix = new QLabel(prefix, this);
        QPalette secondary = m_prefix->palette();
        secondary.setColor(QPalette::WindowText, secondaryText(palette()));
        m_prefix->setPalette(secondary);
        layout->addWidget(m_prefix);
    }
    m_field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_field, 1);
    setFocusProxy(m_field);
    connect(m_field, &QLineEdit::textEdited, this, &EditingNumberCell::readTyped);
    // What was typed is shown again in the cell's own form once the field is left.
    connect(m_field, &QLineEdit::editingFinished, this, [this] {
        if (m_value)
            m_field->setText(decimal(*m_value, m_precision));
    });
}

void EditingNumberCell::readTyped(const QString &text)
{
    const auto typed = readDecimal(text);
    if (!typed)
        return; // letters, half a number: the bound value stays as it was
    trace(QStringLiteral("Binding"), m_fieldName, QStringLiteral(" <- ") + EditDebugLog::number(*typed));
    Q_EMIT valueEdited(*typed);
}

std::optional<double> EditingNumberCell::typedValue() const
{
    return readDecimal(m_field->text());
}

void EditingNumberCell::setValue(double value)
{
    const bool changed = !m_value || *m_value != value;
    if (m_value && changed)
        trace(QStringLiteral("State"), m_fieldName, QStringLiteral(" = ") + EditDebugLog::number(value));
    m_value = value;
    // Text being typed is left alone when it already says this value.
    if (changed && readDecimal(m_field->text()) != std::optional(value))
        m_field->setText(decimal(value, m_precision));
    else if (m_field->text().isEmpty())
        m_field->setText(decimal(value, m_precision));
}

PickerCell::PickerCell(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, [this](int index) { Q_EMIT valueChosen(itemText(index)); });
}

void PickerCell::setOptions(const QStringList &options, const QString &value)
{
    QStringList current;
    for (int i = 0; i < count(); ++i)
        current.append(itemText(i));
    if (current != options) {
        const QSignalBlocker quiet(this);
        clear();
        addItems(options);
    }
    const QSignalBlocker quiet(this);
    setCurrentIndex(int(options.indexOf(value)));
}

EditRowActionsCell::EditRowActionsCell(QWidget *parent)
    : QWidget(parent), m_save(new QToolButton(this)), m_cancel(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(cellInset, 0, cellInset, 0);
    layout->setSpacing(12);
    m_save->setIcon(symbolIcon(QStringLiteral("checkmark.circle.fill"), green(palette())));
    m_save->setToolTip(QStringLiteral("Save"));
    m_save->setAutoRaise(true);
    m_cancel->setIcon(symbolIcon(QStringLiteral("xmark.circle")));
    m_cancel->setToolTip(QStringLiteral("Cancel"));
    m_cancel->setAutoRaise(true);
    for (QToolButton *button : {m_save, m_cancel}) {
        button->setIconSize(QSize(16, 16));
        button->setFixedSize(20, 20);
    }
    layout->addWidget(m_save);
    layout->addWidget(m_cancel);
    layout->addStretch();
    connect(m_save, &QToolButton::clicked, this, &EditRowActionsCell::saveRequested);
    connect(m_cancel, &QToolButton::clicked, this, &EditRowActionsCell::cancelRequested);
}

} // namespace quillfern::table
