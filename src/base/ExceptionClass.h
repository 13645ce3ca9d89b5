// The class name of an exception object, as error texts show it
// ("500 ESocketException: ..."): the unqualified name of its dynamic type.
#pragma once

#include <exception>
#include <string>

std::string ExceptionClassName(const std::exception& E);
