#include "app/ProgressThrottle.h"

bool ProgressThrottle::due(int value, bool last)
{
    if (!last && value == m_lastValue && m_sincePost.isValid() && !m_sincePost.hasExpired(m_intervalMs))
        return false;
    m_lastValue = value;
    m_sincePost.start();
    return true;
}
