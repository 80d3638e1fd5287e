// A helper thread whose exception, if it throws, is thrown again by Join on
// the thread that waits for it: nothing unwinds out of a thread, and a
// helper is always waited for, also when its owner unwinds.
#pragma once

#include <exception>
#include <thread>
#include <utility>

namespace Base {
namespace Utility {

class CHelperThread {
public:
    template <class F>
    explicit CHelperThread(F body)
        : m_thread([this, body]() mutable {
              try {
                  body();
              } catch (...) {
                  m_error = std::current_exception();
              }
          })
    {
    }
    ~CHelperThread()
    {
        if (m_thread.joinable()) m_thread.join();
    }
    CHelperThread(const CHelperThread&) = delete;
    CHelperThread& operator=(const CHelperThread&) = delete;

    void Join()
    {
        if (m_thread.joinable()) m_thread.join();
        if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
    }

private:
    std::exception_ptr m_error;
    std::thread m_thread;  // last: it starts once the rest exists
};

}  // namespace Utility
}  // namespace Base
