// The one piece of user interface the library owns: the message box shown when its resource
// module can't be loaded. Every later message goes through the host's error handler.
#pragma once

namespace tavlo::platform {

class UiService {
public:
    virtual ~UiService() = default;
    // An OK-only box with the default caption; returns when it is dismissed.
    virtual void messageBox(const char16_t* text) = 0;
};

} // namespace tavlo::platform
