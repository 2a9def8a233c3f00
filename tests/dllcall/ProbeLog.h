// The calls the probe DLL received.
#pragma once

#include "tests/support/PackageFixture.h"

#include <windows.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace TestSupport {

// The calls the probe DLL received, in this process and in the children it
// starts: the DLL appends one line per call to the file named by DLLPROBE_LOG.
class CProbeLog
{
public:
    CProbeLog() : m_strPath(m_temp / L"probe.log")
    {
        SetEnvironmentVariableW(L"DLLPROBE_LOG", m_strPath.c_str());
    }
    ~CProbeLog() { SetEnvironmentVariableW(L"DLLPROBE_LOG", nullptr); }
    CProbeLog(const CProbeLog&) = delete;
    CProbeLog& operator=(const CProbeLog&) = delete;

    // The lines written since the last call, and forgets them.
    std::vector<std::string> Take()
    {
        std::vector<std::string> lines;
        {
            std::ifstream file(m_strPath.c_str());
            std::string line;
            while (std::getline(file, line))
                lines.push_back(line);
        }
        DeleteFileW(m_strPath.c_str());
        return lines;
    }

    const CTempFolder& Temp() const { return m_temp; }

private:
    CTempFolder m_temp;
    std::wstring m_strPath;
};

// Debug-log records without their time stamps ("[T] ") and without the separate
// line feeds that follow them.
inline std::vector<std::string> LogRecords(const std::vector<std::string>& messages)
{
    static const std::regex stamp("\\[\\d\\d/\\d\\d/\\d\\d-\\d\\d:\\d\\d:\\d\\d\\] ");
    std::vector<std::string> records;
    for (const std::string& message : messages) {
        if (message == "\n" || message.compare(0, 7, "Setup: ") == 0)
            continue;
        records.push_back(std::regex_replace(message, stamp, "[T] "));
    }
    return records;
}

} // namespace TestSupport
