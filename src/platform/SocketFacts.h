// Facts about this machine's socket layer, as short lines of text (shown by
// the site manager's socket-details window).
#pragma once

#include <string>
#include <vector>

namespace platform {

std::vector<std::string> SocketDetailLines();

}  // namespace platform
