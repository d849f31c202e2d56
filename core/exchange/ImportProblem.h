#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace quillfern::exchange {

// Something in an import file the user has to know about. key is a catalogue key (the texts live in
// text/catalogue/ImportTexts.cpp), args fill its {0}, {1}... in order; line is the file's 1-based physical
// line, 0 when the problem is the file as a whole.
struct ImportProblem {
    QString key;
    QStringList args;
    int line = 0;

    bool operator==(const ImportProblem &) const = default;
};

// Reports done out of total now and then during long work; answering false cancels it.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

} // namespace quillfern::exchange
