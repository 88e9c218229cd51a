// Failure texts that more than one link operation leaves in LastError.
#pragma once

inline constexpr const char* CommunicationErrorText = "Catastrophic Communication Error";
