// Lazily created process-wide instance, never destroyed. Users may hold an
// empty TSingleton<T> member as their handle to the instance.
#pragma once

#include "ZLock.h"

namespace Base {
namespace Utility {

template <class T>
class TSingleton {
public:
    static T* Instance()
    {
        if (s_pInstance == nullptr) {
            System::ZLocker guard(s_lock);
            if (s_pInstance == nullptr) s_pInstance = new T;
        }
        return s_pInstance;
    }

private:
    static T* volatile s_pInstance;
    static System::ZSemiAutoIntLock s_lock;
};

template <class T>
T* volatile TSingleton<T>::s_pInstance = nullptr;
template <class T>
System::ZSemiAutoIntLock TSingleton<T>::s_lock;

}  // namespace Utility
}  // namespace Base
