#pragma once

class VoiceFaults;

// zavren-voice-flite's whole life: hello, then requests until its input ends.
int RunFliteHelper(const VoiceFaults *faults = nullptr);
