#pragma once
// What the header widl makes from skype4com.idl includes for automation_types.idl: the
// system's own declarations of the same types.

#include <oaidl.h>
