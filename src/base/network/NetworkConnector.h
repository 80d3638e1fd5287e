// One connection to the link server: owns its current session and replaces
// it with a fresh one for every new attempt.
#pragma once

#include <cstdint>
#include <string>

namespace Base {
namespace NetWork {

class CNetworkSession;

class CNetworkConnector {
public:
    enum : std::uint32_t { DEFAULT_BUFFER_SIZE = 0xFFFFFFFF };

    CNetworkConnector();
    // Releases the session; the worker pool deletes it once it is idle.
    virtual ~CNetworkConnector();
    CNetworkConnector(const CNetworkConnector&) = delete;
    CNetworkConnector& operator=(const CNetworkConnector&) = delete;

    virtual void Init(std::string host, std::uint16_t port);
    // Starts an attempt unless one is running or the link is up.
    virtual void Connect();
    virtual bool Send(const char* message);
    virtual bool IsConnected();
    virtual void Close();
    virtual void SetEncode(bool on);
    virtual void OnError(int code, const char* text)
    {
        (void)code;
        (void)text;
    }
    virtual void OnClose() {}

    void SetBufferSize(std::uint32_t size) { m_nBufferSize = size; }
    const std::string& GetHost() const { return m_strHost; }
    std::uint16_t GetPort() const { return m_nPort; }
    bool IsEncode() const { return m_bEncode != 0; }
    // Valid until the next Connect() or the connector's destruction.
    CNetworkSession* GetSession() const { return m_pSession; }

private:
    CNetworkSession* NewSession();

    std::string m_strHost;
    std::uint16_t m_nPort = 0;
    CNetworkSession* m_pSession = nullptr;
    std::uint8_t m_bEncode = 0;
    std::uint32_t m_nBufferSize = DEFAULT_BUFFER_SIZE;
};

}  // namespace NetWork
}  // namespace Base
