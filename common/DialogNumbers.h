#pragma once

#include <optional>
#include <string>
#include <string_view>

// How the dialogs' number boxes show and read numbers: up to 15 significant digits without trailing
// zeros ("%.*g"), and whatever "%lf" takes from the start of the first 399 characters.

std::string formatDialogNumber(double value);

// Nothing when "%lf" finds no number. The text may be "nan" or "inf"; range checks must refuse them.
std::optional<double> parseDialogNumber(std::string_view text);
