#pragma once

// One import of a broker's file, without its widgets: the file read, decoded, split into records, mapped to
// the transaction's fields and planned against the loaded ledger, then booked in one request. Reading and
// planning run on a worker thread with progress and can be stopped; a change of the mapping plans the kept
// records again, a change of the encoding or the delimiter reads the kept bytes again. Each run clears what it
// will replace when it starts, so a stopped run leaves nothing stale behind. The wizard shows this state and
// forwards the user's choices to it.

#include "api/APIFailure.h"
#include "app/workspace/ImportMappings.h"
#include "core/exchange/ImportPlan.h"
#include "core/exchange/TextDecoding.h"

#include <QCoroTask>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QPromise>
#include <QSet>

#include <memory>
#include <optional>

namespace quillfern {

class Workspace;

// Sentences one after another as the language writes them: with a space between, or none in Chinese and
// Japanese.
QString joinedSentences(const QStringList &sentences, const QString &languageCode);

// A problem of the file in the language; one of a row names its line itself.
QString importProblemText(const exchange::ImportProblem &problem, const QString &languageCode);

class TransactionImport : public QObject {
    Q_OBJECT

public:
    enum class Work { None, Reading, Planning, Committing };
    // The sector and sub-industry (English names, as the service keeps them) picked for a code held nowhere.
    struct Classification {
        QString sector;
        QString subSector;
        bool operator==(const Classification &) const = default;
    };

    // The preference naming the brokerage of the last file imported, which the next starts with.
    static const QString lastBrokerKey;

    explicit TransactionImport(Workspace &workspace, QObject *parent = nullptr);
    ~TransactionImport() override;

    Workspace &workspace() const { return m_workspace; }

    // Reads the file from the start: its encoding detected, its delimiter sniffed, its mapping the one kept for
    // the same headings or the brokerage, else guessed. A file past the size limit is refused before reading.
    void open(const QString &path);
    const QString &filePath() const { return m_path; }
    // Hex SHA-256 of the file's bytes, which the service books a file once by.
    const QByteArray &contentHash() const { return m_contentHash; }
    const exchange::DetectedEncoding &detectedEncoding() const { return m_detected; }
    // The first lines as the current encoding reads them.
    const QString &sample() const { return m_sample; }
    const exchange::CsvTable &table() const { return m_table; }
    // The number of columns of the widest record.
    int columnCount() const;
    // What stops the file from being read or planned, as a whole or at a line; none when it reads.
    const std::optional<exchange::ImportProblem> &problem() const { return m_problem; }
    std::optional<QString> problemText() const;

    // The brokerage the file comes from: the key its mapping is kept under, and the brokerage of rows that
    // name none. A kept mapping of the brokerage replaces a guessed one.
    const QString &broker() const { return m_broker; }
    void setBroker(const QString &broker);

    const exchange::ImportMapping &mapping() const { return m_mapping; }
    MappingSource mappingSource() const { return m_source; }
    // Reads the kept bytes again in this encoding, and guesses the layout and columns anew.
    void setEncoding(const QString &encoding);
    // Splits the kept text again with this delimiter, and guesses the columns anew.
    void setDialect(exchange::CsvDialect dialect);
    // Plans again under the mapping; a new encoding or delimiter in it reads the bytes again first.
    void setMapping(exchange::ImportMapping mapping);
    // Column headings (or "Column 3") of the records under the current mapping.
    QStringList columnNames() const;
    // The distinct words of the type column, for the user to match to types.
    const QStringList &distinctTypeValues() const { return m_typeValues; }

    const exchange::ImportPlan &plan() const { return m_plan; }
    bool hasPlan() const { return m_planned; }
    // "MARKET:CODE" of the codes the import would open that are held nowhere and that no row classifies.
    const QStringList &unclassifiedCodes() const { return m_unclassified; }
    const QHash<QString, Classification> &classifications() const { return m_classifications; }
    void classify(const QString &code, const Classification &classification);
    // The unclassified codes still without both a sector and a sub-industry.
    QStringList missingClassifications() const;

    Work work() const { return m_work; }
    bool isBusy() const { return m_work != Work::None; }
    // Progress of the running read or plan out of 1000, and the catalogue key of its step.
    int progress() const { return m_progress; }
    const QString &progressStep() const { return m_step; }
    // Stops a running read or plan; what it was to replace stays cleared. A running commit goes on.
    void cancel();
    // The last read or plan was stopped before it ended.
    bool wasStopped() const { return m_stopped; }

    // What a commit sends: every row that is not an error (the service skips those already booked), with the
    // picked classifications filled in.
    TransactionImportRequest request() const;
    // The plan's rows can be booked: nothing running, rows to send, and rows with errors only when the user
    // agreed to leave them out.
    bool planAccepts(bool leaveOutErrors) const;
    // planAccepts, and every new code classified.
    bool canCommit(bool leaveOutErrors) const;
    // Books the request; the outcome is in result() or commitError() when committed() is emitted. The
    // mapping is kept for the brokerage once the service has taken the file.
    QCoro::Task<> commit(bool leaveOutErrors);
    const std::optional<TransactionImportResult> &result() const { return m_result; }
    // The outcome in the language: what was booked and skipped, or that the file was booked before.
    QString resultText() const;
    // Why nothing was booked, with the file's line when the service named a row.
    const std::optional<QString> &commitError() const { return m_commitError; }
    // The file's line of the row the service refused, or 0.
    int refusedLine() const { return m_refusedLine; }

Q_SIGNALS:
    // work, progress or the step changed.
    void workChanged();
    // The bytes were read again: sample, table, problem, mapping and plan are new.
    void tableChanged();
    // The mapping or the plan changed.
    void planChanged();
    void classificationsChanged();
    void committed();

private:
    struct Job;
    struct Outcome;
    static void run(QPromise<Outcome> &promise, const Job &job);

    Job jobFrom(int from) const;
    void start(Job job);
    void finish();
    void dropWatcher();
    void setWork(Work work);
    // The request and, for each of its transactions, the file's line it came from.
    std::pair<TransactionImportRequest, QList<int>> build() const;
    QString languageCode() const;

    Workspace &m_workspace;
    QString m_path;
    QByteArray m_bytes;
    QByteArray m_contentHash;
    exchange::DetectedEncoding m_detected;
    QString m_sample;
    exchange::CsvTable m_table;
    exchange::ImportMapping m_guessed;
    exchange::ImportMapping m_mapping;
    MappingSource m_source = MappingSource::Guessed;
    QStringList m_typeValues;
    exchange::ImportPlan m_plan;
    bool m_planned = false;
    QStringList m_unclassified;
    std::optional<exchange::ImportProblem> m_problem;
    QString m_broker;
    QHash<QString, Classification> m_classifications;
    // duplicateKey() of every transaction of the loaded ledger.
    mutable std::optional<QSet<QString>> m_booked;

    Work m_work = Work::None;
    int m_progress = 0;
    QString m_step;
    bool m_stopped = false;
    std::unique_ptr<QFutureWatcher<Outcome>> m_watcher;

    std::optional<TransactionImportResult> m_result;
    std::optional<QString> m_commitError;
    int m_refusedLine = 0;
    int m_leftOut = 0;
};

} // namespace quillfern
