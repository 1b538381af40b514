// The error box around the window's event handlers.
#include "PlatformServices.h"

#include <exception>
#include <new>

namespace zelqor {

void ReportFailures(PlatformServices& services,
                    const std::string& title,
                    const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::bad_alloc&) {
        services.ShowError(title, "Out of memory");
    } catch (const std::exception& e) {
        services.ShowError(title, e.what());
    } catch (...) {
        services.ShowError(title, "Unknown error");
    }
}

}  // namespace zelqor
