// Texts of the platform's socket error numbers, as shown in every socket
// error message ("Error N in function X" CR LF text) and by the FTP engine.
#pragma once

#include <string>

std::string WSocketErrorText(int ErrCode);
