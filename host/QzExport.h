// Visibility of symbols that cross a shared-library boundary. Everything else
// is built with hidden visibility.
#pragma once

#define QZ_API __attribute__((visibility("default")))
