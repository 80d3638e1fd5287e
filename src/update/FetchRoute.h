// Where the package of a run comes from and what it must be: the patch
// servers to fall back on, whether the step's delta package goes first and
// was fetched, and the versions the package must go between.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

class CFetchRoute {
public:
    // The other patch servers that offer the same version on the same line,
    // in list order: the package is fetched from them when the chosen one fails.
    void SetFailover(const std::vector<std::string>& bases) { m_vecFailoverBaseURL = bases; }
    // Adds base once.
    void AddFailover(const std::string& base)
    {
        if (std::find(m_vecFailoverBaseURL.begin(), m_vecFailoverBaseURL.end(), base) == m_vecFailoverBaseURL.end())
            m_vecFailoverBaseURL.push_back(base);
    }
    const std::vector<std::string>& Failover() const { return m_vecFailoverBaseURL; }
    // The chosen server first, then the others of the same version, each once.
    std::vector<std::string> Bases(const std::string& chosen) const
    {
        std::vector<std::string> bases(1, chosen);
        bases.insert(bases.end(), m_vecFailoverBaseURL.begin(), m_vecFailoverBaseURL.end());
        return bases;
    }

    // A step's delta package goes first (not when its whole-file package
    // replaces one that could not be installed).
    bool PreferDelta() const { return m_bPreferDelta; }
    void SetPreferDelta(bool prefer) { m_bPreferDelta = prefer; }
    // The downloaded package is a delta package.
    bool IsDelta() const { return m_bDeltaPackage; }
    void SetDelta(bool delta) { m_bDeltaPackage = delta; }

    // The versions the downloaded package must go between.
    void SetStep(const std::string& from, const std::string& to)
    {
        m_strStepFrom = from;
        m_strStepTo = to;
    }
    const std::string& StepFrom() const { return m_strStepFrom; }
    const std::string& StepTo() const { return m_strStepTo; }

private:
    std::vector<std::string> m_vecFailoverBaseURL;
    bool m_bPreferDelta = true;
    bool m_bDeltaPackage = false;
    std::string m_strStepFrom, m_strStepTo;
};
