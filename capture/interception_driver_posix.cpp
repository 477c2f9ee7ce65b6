// Native builds have no DLL to load: they are test builds, and the stand-in driver is linked
// into them directly under the library's own names.
#include "capture/interception_driver.h"

extern "C" {
InterceptionContext interception_create_context();
void interception_destroy_context(InterceptionContext context);
void interception_set_filter(InterceptionContext context, InterceptionPredicate predicate,
                             InterceptionFilter filter);
int interception_wait_with_timeout(InterceptionContext context, unsigned long milliseconds);
int interception_send(InterceptionContext context, InterceptionDevice device,
                      const InterceptionStrokeBuffer* stroke, unsigned int count);
int interception_receive(InterceptionContext context, InterceptionDevice device,
                         InterceptionStrokeBuffer* stroke, unsigned int count);
unsigned int interception_get_hardware_id(InterceptionContext context, InterceptionDevice device,
                                          void* buffer, unsigned int size);
int interception_is_keyboard(InterceptionDevice device);
}

bool LoadInterceptionLibrary() {
    interception = {interception_create_context,
                    interception_destroy_context,
                    interception_set_filter,
                    interception_wait_with_timeout,
                    interception_send,
                    interception_receive,
                    interception_get_hardware_id,
                    interception_is_keyboard};
    return true;
}
