#pragma once

// DM_API marks the declarations of the installed headers: the functions a program outside the
// project calls. A shared build of the codec is compiled with hidden visibility, so these are
// all it exports; a static build links them as any other function.
#if defined(__GNUC__) || defined(__clang__)
#define DM_API __attribute__((visibility("default")))
#else
#define DM_API
#endif
