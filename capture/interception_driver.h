// The keyboard filter driver's user-mode library, interception.dll, as the program uses it.
// The library lies outside the program: it is loaded at run time and every call goes through
// the function table below, so a missing library only makes the driver unavailable.
#pragma once

// Binary interface of the library (x64, C calling convention).
using InterceptionContext = void*;
using InterceptionDevice = int;
using InterceptionFilter = unsigned short;
using InterceptionPredicate = int (*)(InterceptionDevice device);

struct InterceptionKeyStroke {
    unsigned short code;
    unsigned short state;
    unsigned int information;
};

// Room for one stroke of any device kind (a mouse stroke is the larger, 20 bytes).
struct InterceptionStrokeBuffer {
    alignas(4) char bytes[20];
};

constexpr unsigned short InterceptionKeyUp = 0x01;
constexpr unsigned short InterceptionKeyE0 = 0x02;
constexpr unsigned short InterceptionKeyE1 = 0x04;
constexpr InterceptionFilter InterceptionFilterAll = 0xFFFF;
constexpr InterceptionFilter InterceptionFilterNone = 0;
constexpr int InterceptionMaxKeyboard = 10;
constexpr int InterceptionMaxDevice = 20;  // keyboards 1 to 10, mice 11 to 20

struct InterceptionFunctions {
    InterceptionContext (*createContext)();
    void (*destroyContext)(InterceptionContext context);
    void (*setFilter)(InterceptionContext context, InterceptionPredicate predicate,
                      InterceptionFilter filter);
    int (*waitWithTimeout)(InterceptionContext context, unsigned long milliseconds);
    int (*send)(InterceptionContext context, InterceptionDevice device,
                const InterceptionStrokeBuffer* stroke, unsigned int count);
    int (*receive)(InterceptionContext context, InterceptionDevice device,
                   InterceptionStrokeBuffer* stroke, unsigned int count);
    unsigned int (*getHardwareId)(InterceptionContext context, InterceptionDevice device,
                                  void* buffer, unsigned int size);
    int (*isKeyboard)(InterceptionDevice device);
};

// All entries are null until the library has been loaded with every one of its calls.
extern InterceptionFunctions interception;

// Null also means: driver unavailable.
extern InterceptionContext interceptionContext;

// Loads interception.dll from the program's own folder. False, with the table left all null,
// when the file or any of its eight calls is missing.
bool LoadInterceptionLibrary();

// Creates the context through the loaded library; null when the library is absent or the
// driver refuses.
InterceptionContext CreateInterceptionContext();

// Destroys interceptionContext if it is set and nulls it.
void DestroyInterceptionContext();
