#include "capture/interception_driver.h"

InterceptionFunctions interception = {};
InterceptionContext interceptionContext = nullptr;

InterceptionContext CreateInterceptionContext() {
    if (interception.createContext == nullptr && !LoadInterceptionLibrary()) {
        return nullptr;
    }
    return interception.createContext();
}

void DestroyInterceptionContext() {
    if (interceptionContext != nullptr) {
        interception.destroyContext(interceptionContext);
        interceptionContext = nullptr;
    }
}
