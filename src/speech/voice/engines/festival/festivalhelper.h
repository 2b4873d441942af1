#pragma once

class VoiceFaults;

// zavren-voice-festival's whole life: hello, then requests until its input ends.
int RunFestivalHelper(const VoiceFaults *faults = nullptr);
