#include "app/workspace/TransactionImport.h"

#include "app/workspace/Workspace.h"
#include "core/TransactionIdentity.h"
#include "text/Localization.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace quillfern {

using namespace exchange;

const QString TransactionImport::lastBrokerKey = QStringLiteral("importLastBroker");

namespace {

constexpr int sampleLines = 20;
constexpr int sampleCharacters = 4000;
constexpr qint64 chunkBytes = 1 << 20;

QString firstLines(const QString &text)
{
    qsizetype end = 0;
    for (int line = 0; line < sampleLines && end < text.size(); ++line) {
        const qsizetype next = text.indexOf(u'\n', end);
        end = next < 0 ? text.size() : next + 1;
    }
    return text.first(std::min(end, qsizetype(sampleCharacters)));
}

QString formatted(const QString &key, const QString &language, const QStringList &args)
{
    const auto arg = [&args](int i) { return AppText::Argument(args.value(i)); };
    switch (args.size()) {
    case 0:
        return AppText::format(key, language, {});
    case 1:
        return AppText::format(key, language, {arg(0)});
    case 2:
        return AppText::format(key, language, {arg(0), arg(1)});
    default:
        return AppText::format(key, language, {arg(0), arg(1), arg(2)});
    }
}

QString marketCode(const QString &market, const QString &code)
{
    return (market + QLatin1Char(':') + code).toUpper();
}

} // namespace

QString joinedSentences(const QStringList &sentences, const QString &languageCode)
{
    const bool spaced = !languageCode.startsWith(u"zh") && !languageCode.startsWith(u"ja");
    return sentences.join(spaced ? QStringLiteral(" ") : QString());
}

QString importProblemText(const ImportProblem &problem, const QString &languageCode)
{
    return formatted(problem.key, languageCode, problem.args);
}

// What a run starts from: the file on disk, the kept bytes in an encoding, or the kept records under a mapping.
struct TransactionImport::Job {
    enum From { File, Bytes, Table };
    int from = File;
    QString path;
    QByteArray bytes;
    QString encoding;                  // empty: detected
    std::optional<CsvDialect> dialect; // none: sniffed
    CsvTable table;
    std::optional<ImportMapping> mapping; // none: a kept one, else guessed
    QList<std::pair<QString, ImportMapping>> saved;
    QString broker;
    QSet<QString> booked;
    QSet<QString> held;
};

struct TransactionImport::Outcome {
    int from = Job::File;
    QByteArray bytes;
    QByteArray contentHash;
    DetectedEncoding detected;
    QString sample;
    bool read = false;
    CsvTable table;
    ImportMapping guessed;
    ImportMapping mapping;
    MappingSource source = MappingSource::Guessed;
    QStringList typeValues;
    bool planned = false;
    ImportPlan plan;
    QStringList unclassified;
    std::optional<ImportProblem> problem;
};

void TransactionImport::run(QPromise<Outcome> &promise, const Job &job)
{
    Outcome out;
    out.from = job.from;
    if (job.mapping)
        out.mapping = *job.mapping;
    // Each step owns a share of one progress scale, which only ever grows.
    int stepEnd = 0;
    const auto step = [&promise, &stepEnd](const char16_t *key, int end) -> ProgressFn {
        const int begin = stepEnd;
        stepEnd = end;
        promise.setProgressValueAndText(begin + 1, QString::fromUtf16(key));
        return [&promise, begin, end](qint64 done, qint64 total) {
            if (promise.isCanceled())
                return false;
            if (total > 0)
                promise.setProgressValue(begin + 1 + int(qint64(end - begin - 1) * std::min(done, total) / total));
            return true;
        };
    };
    const bool fromFile = job.from == Job::File;
    const bool fromBytes = job.from != Job::Table;

    QByteArray bytes = job.bytes;
    if (fromFile) {
        const ProgressFn progress = step(u"wizardReadingFile", 300);
        QFile file(job.path);
        if (!file.open(QIODevice::ReadOnly)) {
            out.problem = ImportProblem{QStringLiteral("wizardFileCannotOpen"), {}, 0};
            promise.addResult(std::move(out));
            return;
        }
        const qint64 size = file.size();
        out.problem = checkImportSize(size);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        bytes.reserve(size);
        while (!out.problem && !file.atEnd()) {
            const QByteArray chunk = file.read(chunkBytes);
            if (chunk.isEmpty()) {
                out.problem = ImportProblem{QStringLiteral("wizardFileCannotOpen"), {}, 0};
                break;
            }
            bytes += chunk;
            hash.addData(chunk);
            // A file that grew while it was read is measured again.
            if (bytes.size() > size)
                out.problem = checkImportSize(bytes.size());
            if (!progress(bytes.size(), size))
                return;
        }
        if (out.problem) {
            promise.addResult(std::move(out));
            return;
        }
        out.bytes = bytes;
        out.contentHash = hash.result().toHex();
    }

    QString encoding = job.encoding;
    CsvTable table = job.table;
    if (fromBytes) {
        if (encoding.isEmpty()) {
            out.detected = detectEncoding(QByteArrayView(bytes).first(std::min(bytes.size(), qsizetype(256 * 1024))));
            encoding = out.detected.name;
        }
        out.mapping.encoding = encoding;
        DecodedText decoded = decodeText(bytes, encoding, step(u"wizardDecoding", fromFile ? 450 : 250));
        if (decoded.cancelled)
            return;
        out.sample = firstLines(decoded.text);
        out.read = true;
        if (decoded.problem) {
            out.problem = decoded.problem;
            promise.addResult(std::move(out));
            return;
        }
        const CsvDialect dialect = job.dialect.value_or(sniffDialect(decoded.text));
        out.mapping.dialect = dialect;
        table = readCsv(decoded.text, dialect, step(u"wizardSplitting", fromFile ? 700 : 600));
        if (table.cancelled)
            return;
        decoded.text.clear();
        out.table = table;
        if (table.problem) {
            out.problem = table.problem;
            promise.addResult(std::move(out));
            return;
        }
        if (!job.mapping) {
            out.guessed = guessMapping(table, encoding, dialect);
            const FittedMapping fitted = fitSavedMapping(job.saved, out.guessed, table, job.broker);
            out.mapping = fitted.mapping;
            out.source = fitted.source;
        }
    }
    if (out.mapping.defaultBroker.isEmpty())
        out.mapping.defaultBroker = job.broker;

    out.typeValues = exchange::distinctTypeValues(table, out.mapping);
    out.plan = planImport(table, out.mapping, job.booked, step(u"wizardChecking", 1000));
    if (out.plan.cancelled)
        return;
    out.planned = true;
    out.problem = out.plan.problem;
    out.unclassified = exchange::unclassifiedCodes(out.plan, job.held);
    promise.addResult(std::move(out));
}

TransactionImport::TransactionImport(Workspace &workspace, QObject *parent) : QObject(parent), m_workspace(workspace)
{
    const QStringList brokers = workspace.brokerageNames();
    const QString last = workspace.preferences().value(lastBrokerKey).toString();
    m_broker = brokers.contains(last) || brokers.isEmpty() ? last : brokers.first();
    connect(&workspace, &Workspace::transactionsChanged, this, [this] { m_booked.reset(); });
}

TransactionImport::~TransactionImport()
{
    // The worker holds copies of what it reads; told to stop, it ends by itself.
    if (m_watcher)
        m_watcher->cancel();
}

QString TransactionImport::languageCode() const
{
    return m_workspace.displayLanguageCode();
}

int TransactionImport::columnCount() const
{
    qsizetype width = 0;
    for (const CsvRecord &record : m_table.records)
        width = std::max(width, record.fields.size());
    return int(width);
}

std::optional<QString> TransactionImport::problemText() const
{
    if (!m_problem)
        return std::nullopt;
    return importProblemText(*m_problem, languageCode());
}

QStringList TransactionImport::columnNames() const
{
    QStringList names;
    const int heading = m_mapping.skipLines;
    const QStringList headings =
        m_mapping.hasHeader && heading < m_table.records.size() ? m_table.records[heading].fields : QStringList();
    for (int column = 0; column < columnCount(); ++column) {
        const QString name = headings.value(column).trimmed();
        names.append(name.isEmpty() ? AppText::format(u"wizardColumnNumber", languageCode(), {qint64(column + 1)})
                                    : name);
    }
    return names;
}

TransactionImport::Job TransactionImport::jobFrom(int from) const
{
    Job job;
    job.from = from;
    job.path = m_path;
    job.bytes = m_bytes;
    job.table = m_table;
    job.broker = m_broker;
    job.saved = ImportMappings(m_workspace.preferences()).all();
    // The ledger's keys are made once and again only when it changes, not on every edit of the mapping.
    if (!m_booked) {
        QSet<QString> booked;
        booked.reserve(m_workspace.transactions().size());
        for (const TransactionRecord &record : m_workspace.transactions())
            booked.insert(duplicateKey(record));
        m_booked = std::move(booked);
    }
    job.booked = *m_booked;
    for (const AssetRow &row : m_workspace.rows())
        job.held.insert(marketCode(row.market, row.code));
    return job;
}

void TransactionImport::open(const QString &path)
{
    m_path = path;
    m_bytes.clear();
    m_contentHash.clear();
    m_detected = {};
    m_classifications.clear();
    start(jobFrom(Job::File));
}

void TransactionImport::setEncoding(const QString &encoding)
{
    if (m_bytes.isEmpty())
        return;
    Job job = jobFrom(Job::Bytes);
    job.encoding = encoding;
    start(std::move(job));
}

void TransactionImport::setDialect(CsvDialect dialect)
{
    if (m_bytes.isEmpty())
        return;
    Job job = jobFrom(Job::Bytes);
    job.encoding = m_mapping.encoding;
    job.dialect = dialect;
    start(std::move(job));
}

void TransactionImport::setMapping(ImportMapping mapping)
{
    if (m_bytes.isEmpty())
        return;
    const bool readAgain = mapping.encoding != m_mapping.encoding || !(mapping.dialect == m_mapping.dialect);
    // The headings move with the header row, for the saved mapping and the problems that name a column.
    if (!readAgain) {
        mapping.headers.clear();
        if (mapping.hasHeader && mapping.skipLines < m_table.records.size()) {
            for (const QString &heading : m_table.records[mapping.skipLines].fields)
                mapping.headers.append(heading.trimmed());
        }
    }
    Job job = jobFrom(readAgain ? Job::Bytes : Job::Table);
    job.encoding = mapping.encoding;
    job.dialect = mapping.dialect;
    job.mapping = mapping;
    m_mapping = std::move(mapping);
    start(std::move(job));
}

void TransactionImport::setBroker(const QString &broker)
{
    if (broker == m_broker)
        return;
    m_broker = broker;
    if (m_bytes.isEmpty() || m_table.records.isEmpty() || m_source == MappingSource::SameHeadings) {
        if (!m_bytes.isEmpty() && !m_table.records.isEmpty()) {
            ImportMapping mapping = m_mapping;
            mapping.defaultBroker = broker;
            setMapping(std::move(mapping));
        }
        return;
    }
    // Another brokerage's kept mapping, or the guess once more when it has none.
    const FittedMapping fitted =
        fitSavedMapping(ImportMappings(m_workspace.preferences()).all(), m_guessed, m_table, broker);
    m_source = fitted.source;
    ImportMapping mapping = fitted.mapping;
    mapping.defaultBroker = broker;
    setMapping(std::move(mapping));
}

void TransactionImport::classify(const QString &code, const Classification &classification)
{
    if (m_classifications.value(code) == classification)
        return;
    m_classifications.insert(code, classification);
    Q_EMIT classificationsChanged();
}

QStringList TransactionImport::missingClassifications() const
{
    QStringList missing;
    for (const QString &code : m_unclassified) {
        const Classification picked = m_classifications.value(code);
        if (picked.sector.isEmpty() || picked.subSector.isEmpty())
            missing.append(code);
    }
    return missing;
}

void TransactionImport::start(Job job)
{
    dropWatcher();
    // What the run will replace goes now, so that nothing stale is shown while it runs or after a stop.
    if (job.from != Job::Table) {
        m_sample.clear();
        m_table = {};
        m_typeValues.clear();
    }
    m_plan = {};
    m_planned = false;
    m_unclassified.clear();
    m_problem.reset();
    m_result.reset();
    m_commitError.reset();
    m_stopped = false;
    m_progress = 0;
    m_step.clear();
    const int from = job.from;
    m_watcher = std::make_unique<QFutureWatcher<Outcome>>();
    connect(m_watcher.get(), &QFutureWatcherBase::progressValueChanged, this, [this](int value) {
        m_progress = value;
        Q_EMIT workChanged();
    });
    connect(m_watcher.get(), &QFutureWatcherBase::progressTextChanged, this, [this](const QString &step) {
        m_step = step;
        Q_EMIT workChanged();
    });
    connect(m_watcher.get(), &QFutureWatcherBase::finished, this, &TransactionImport::finish);
    m_work = from == Job::Table ? Work::Planning : Work::Reading;
    m_watcher->setFuture(QtConcurrent::run(&TransactionImport::run, std::move(job)));
    if (from == Job::Table)
        Q_EMIT planChanged();
    else
        Q_EMIT tableChanged();
    Q_EMIT workChanged();
}

void TransactionImport::cancel()
{
    if (!m_watcher || (m_work != Work::Reading && m_work != Work::Planning))
        return;
    dropWatcher();
    m_stopped = true;
    setWork(Work::None);
}

void TransactionImport::dropWatcher()
{
    if (!m_watcher)
        return;
    m_watcher->disconnect(this);
    if (!m_watcher->isFinished())
        m_watcher->cancel();
    // Later, as it may be the sender of the signal being handled.
    m_watcher.release()->deleteLater();
}

void TransactionImport::setWork(Work work)
{
    m_work = work;
    if (work == Work::None) {
        m_progress = 0;
        m_step.clear();
    }
    Q_EMIT workChanged();
}

void TransactionImport::finish()
{
    const QFuture<Outcome> future = m_watcher->future();
    const bool stopped = future.isCanceled() || future.resultCount() == 0;
    Outcome out = stopped ? Outcome() : future.result();
    dropWatcher();
    if (stopped) {
        m_stopped = true;
        setWork(Work::None);
        return;
    }
    const bool read = out.from != Job::Table;
    if (out.from == Job::File) {
        m_bytes = std::move(out.bytes);
        m_contentHash = std::move(out.contentHash);
        m_detected = out.detected;
    }
    if (read) {
        m_sample = std::move(out.sample);
        m_table = std::move(out.table);
        if (!out.guessed.encoding.isEmpty()) {
            m_guessed = std::move(out.guessed);
            m_source = out.source;
        }
    }
    m_mapping = std::move(out.mapping);
    m_typeValues = std::move(out.typeValues);
    m_plan = std::move(out.plan);
    m_planned = out.planned;
    m_unclassified = std::move(out.unclassified);
    m_problem = std::move(out.problem);
    setWork(Work::None);
    if (read)
        Q_EMIT tableChanged();
    Q_EMIT planChanged();
}

std::pair<TransactionImportRequest, QList<int>> TransactionImport::build() const
{
    TransactionImportRequest request;
    request.contentHash = QString::fromLatin1(m_contentHash);
    request.fileName = QFileInfo(m_path).fileName();
    QList<int> lines;
    for (const ImportRow &row : m_plan.rows) {
        if (row.outcome == ImportRow::Outcome::Error)
            continue;
        TransactionCreateInput input = row.input;
        if (input.sector.isEmpty()) {
            const auto picked = m_classifications.constFind(marketCode(input.market, input.code));
            if (picked != m_classifications.cend()) {
                input.sector = picked->sector;
                input.subSector = picked->subSector;
            }
        }
        request.transactions.append(std::move(input));
        lines.append(row.line);
    }
    return {std::move(request), std::move(lines)};
}

TransactionImportRequest TransactionImport::request() const
{
    return build().first;
}

bool TransactionImport::planAccepts(bool leaveOutErrors) const
{
    return m_work == Work::None && m_planned && !m_problem && m_plan.ok + m_plan.duplicates > 0 &&
           (m_plan.errors == 0 || leaveOutErrors) && !m_contentHash.isEmpty();
}

bool TransactionImport::canCommit(bool leaveOutErrors) const
{
    // Without the classification list nothing can be picked; the service then names the row itself.
    const bool classified = missingClassifications().isEmpty() || m_workspace.gicsClassifications().isEmpty();
    return planAccepts(leaveOutErrors) && classified;
}

QCoro::Task<> TransactionImport::commit(bool leaveOutErrors)
{
    if (!canCommit(leaveOutErrors))
        co_return;
    auto [request, lines] = build();
    m_result.reset();
    m_commitError.reset();
    m_refusedLine = 0;
    m_leftOut = m_plan.errors;
    setWork(Work::Committing);
    const QPointer<TransactionImport> self(this);
    auto call = m_workspace.importTransactions(std::move(request));
    auto answer = co_await std::move(call);
    if (!self)
        co_return;
    if (answer) {
        m_result = *answer;
        if (!m_broker.isEmpty()) {
            ImportMappings(m_workspace.preferences()).save(m_broker, m_mapping);
            m_workspace.preferences().setValue(lastBrokerKey, m_broker);
        }
    } else {
        const APIFailure &failure = answer.error();
        const PortfolioAPIError *refusal = failure.apiError();
        if (refusal && refusal->row && *refusal->row >= 0 && *refusal->row < lines.size()) {
            m_refusedLine = lines[*refusal->row];
            m_commitError = AppText::format(u"wizardRefusedOnLine", languageCode(),
                                            {QString::number(m_refusedLine), failure.description()});
        } else {
            m_commitError = AppText::format(u"wizardRefused", languageCode(), {failure.description()});
        }
    }
    setWork(Work::None);
    Q_EMIT committed();
}

QString TransactionImport::resultText() const
{
    if (!m_result)
        return {};
    const QString language = languageCode();
    if (m_result->alreadyImported)
        return AppText::value(u"wizardAlreadyImported", language);
    const auto imported = qint64(m_result->imported);
    const auto skipped = qint64(m_result->skippedDuplicates);
    QStringList text{skipped > 0 ? AppText::format(u"wizardImportedSkipped", language, {imported, skipped})
                                 : AppText::format(u"wizardImported", language, {imported})};
    if (m_leftOut > 0)
        text.append(AppText::format(u"wizardErrorsLeftOut", language, {qint64(m_leftOut)}));
    return joinedSentences(text, language);
}

} // namespace quillfern
