#include "api/Cancellation.h"

namespace quillfern {

void Cancellation::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    Q_EMIT cancelled();
}

} // namespace quillfern
