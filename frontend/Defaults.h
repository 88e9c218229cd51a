// Values a run takes when the command line names none.
#pragma once

constexpr const char* DefaultPortName = "COM2";
