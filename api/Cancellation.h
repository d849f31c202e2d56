#pragma once

#include <QObject>

#include <memory>

namespace quillfern {

// Lets the owner of a run of service calls give up on them: cancel() aborts the request in flight, which
// then ends with a cancelled transport error, so the awaiting coroutine finishes instead of dangling.
class Cancellation : public QObject {
    Q_OBJECT

public:
    void cancel();
    bool isCancelled() const { return m_cancelled; }

Q_SIGNALS:
    void cancelled();

private:
    bool m_cancelled = false;
};

using CancelToken = std::shared_ptr<Cancellation>;

inline CancelToken makeCancelToken()
{
    return std::make_shared<Cancellation>();
}

} // namespace quillfern
