#pragma once
// What every command that talks to a device shares: the service session, shown
// on a console view.
#include "service/Session.h"
#include "tools/vyx/ConsoleView.h"

namespace vyx::tool {

struct TConsoleSession {
    TConsoleView View;
    service::TSession Session{View};
};

}  // namespace vyx::tool
