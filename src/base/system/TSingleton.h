// Lazily created process-wide instance, never destroyed. Users may hold an
// empty TSingleton<T> member as their handle to the instance.
#pragma once

namespace Base {
namespace Utility {

template <class T>
class TSingleton {
public:
    // The first caller creates it; the language makes concurrent first calls wait.
    static T* Instance()
    {
        static T* s_pInstance = new T;
        return s_pInstance;
    }
};

}  // namespace Utility
}  // namespace Base
