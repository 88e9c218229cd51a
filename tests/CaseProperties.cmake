# Properties of single cases, applied as CTest reads the cases a GoogleTest program listed
# (their names are in qkl_cases; qkl_discover_tests includes this file after each program's).

# Cases that need a core of their own: those that run the cog emulator for long (the chip's ROM,
# the reader program while it answers) to keep up with the host's time limits, those whose chip
# must answer the host's polls faster than its verdict comes, two chips written side by side
# (without the lock both missed their RAM verdict in a loaded run), and the thousand detections
# of a chip, whose every handshake the chip must answer within the host's reply limit (in the
# endurance preset). They run one at a time, beside the cases that only wait on the protocol's
# time: among those the boot loader model's runs, and the read-backs whose reader is never
# loaded or never answers, whose outcome does not depend on the emulator's speed.
set(core_cases
  "^ReadBack\\.BlankAndAllZero" "ReadBackRoundTrip\\." "RomBoot\\."
  "ReadBackFault\\..*/(ReaderStopsAtLongHundred|ChecksumArrivesCorrupted)$" "LoadedProgram\\."
  "ListeningTerminal\\." "LoaderFailure\\." "SilentEeprom\\." "SlowEeprom\\..*/Rom" "LoaderAgreement\\."
  "RomBootLoader\\." "ReaderProgram"
  "RomHandshakeTiming\\." "^SerialLine\\." "^RomLoad\\." "^EepromBoot\\." "^Rom\\." "^Launcher\\.TheRom"
  "FaultMatrix\\..*/(NoProgrammingVerdict|ReaderStops|ReaderCrcCorrupt)ReadBack$"
  "FaultMatrix\\..*/Noisy" "^BadInput\\.Names" "^TwoLinks\\." "^QklDetectionTest\\.ThousandDetectionsOfAChip$"
  "^Paced/FastLoad\\." "^FastEeprom\\." "^ToolFast\\.")

# Cases measured at more than 5 s on the 2-core machine, with the suite run side by side
# (ctest --output-junit): labelled slow, so that a quick run can leave them out with -LE slow.
set(slow_cases
  "Progress.ShownOnATerminalOnlyAndStandardOutputStaysTheSame"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/EepromDataLineLowReadBack"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/GarbageVerdictsEepromWrite"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/GarbageVerdictsFileListTest"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/GarbageVerdictsRamLoad"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/GarbageVerdictsReadBack"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoEepromReadBack"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoProgrammingVerdictReadBack"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoVerdictBytesEepromWrite"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoVerdictBytesFileListTest"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoVerdictBytesRamLoad"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoVerdictBytesReadBack"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoVerdictFileListTest"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/NoVerdictReadBack"
  "AfterHandshake/FaultMatrix.EndsSoundlyInTimeAndLeavesTheFiles/ReaderCrcCorruptReadBack"
  "AtTheEndsOfTheClockRange/ReadBackRoundTrip.ImageWrittenInModeThreeComesBackWithTheWholeEeprom/20MHzAt115200"
  "AtTheEndsOfTheClockRange/ReadBackRoundTrip.ImageWrittenInModeThreeComesBackWithTheWholeEeprom/20MHzAt230400"
  "AtTheEndsOfTheClockRange/ReadBackRoundTrip.ImageWrittenInModeThreeComesBackWithTheWholeEeprom/8MHzAt115200"
  "AtTheEndsOfTheClockRange/ReadBackRoundTrip.ImageWrittenInModeThreeComesBackWithTheWholeEeprom/8MHzAt230400"
  "AtTheEndsOfTheClockRange/RomBoot.DetectsLoadsWritesAFullEepromAndReadsItBack/20MHzAt115200"
  "AtTheEndsOfTheClockRange/RomBoot.DetectsLoadsWritesAFullEepromAndReadsItBack/20MHzAt230400"
  "AtTheEndsOfTheClockRange/RomBoot.DetectsLoadsWritesAFullEepromAndReadsItBack/8MHzAt115200"
  "AtTheEndsOfTheClockRange/RomBoot.DetectsLoadsWritesAFullEepromAndReadsItBack/8MHzAt230400"
  "AtTwelveMegahertz/ReadBackRoundTrip.ImageWrittenInModeThreeComesBackWithTheWholeEeprom/12MHzAt115200"
  "AtTwelveMegahertz/ReadBackRoundTrip.ImageWrittenInModeThreeComesBackWithTheWholeEeprom/12MHzAt230400"
  "AtTwelveMegahertz/RomBoot.DetectsLoadsWritesAFullEepromAndReadsItBack/12MHzAt115200"
  "AtTwelveMegahertz/RomBoot.DetectsLoadsWritesAFullEepromAndReadsItBack/12MHzAt230400"
  "BadInput.NamesTooLongForTheFileSystem"
  "BadInput.NamesWithSpacesAndBytesBeyondAscii"
  "BothLoaders/SlowEeprom.TheProgrammingVerdictAndTheEepromAreThoseOfTheLoader/Model8MHzWith10msPagesModeThree"
  "BothLoaders/SlowEeprom.TheProgrammingVerdictAndTheEepromAreThoseOfTheLoader/Model8MHzWith10msPagesModeTwo"
  "BothLoaders/SlowEeprom.TheProgrammingVerdictAndTheEepromAreThoseOfTheLoader/Rom8MHzWith10msPagesModeThree"
  "BothLoaders/SlowEeprom.TheProgrammingVerdictAndTheEepromAreThoseOfTheLoader/Rom8MHzWith10msPagesModeTwo"
  "DetectionTestFaults.EchoingLineFailsEveryAttempt"
  "EveryStage/QklDownloadFailure.EndsWithItsTextAndExitCode1/SilentChip"
  "EveryStage/QklDownloadFailure.EndsWithItsTextAndExitCode1/SilentWhileProgramming"
  "EveryStage/QklDownloadFailure.EndsWithItsTextAndExitCode1/SilentWhileVerifying"
  "Faults/ReadBackFault.EndsInExitTwoAndLeavesAnExistingFileAlone/ChecksumArrivesCorrupted"
  "Faults/ReadBackFault.EndsInExitTwoAndLeavesAnExistingFileAlone/DataLineHeldLow"
  "LoaderAgreement.ModeTwoLeavesTheSameEepromWithTheRomAndTheModel"
  "Qkl.ReadBackWithoutAChipOrWithoutAnAnsweringReader"
  "QklDetectionTest.ThousandDetectionsOfAChip"
  "QklDetectionTest.ThousandFailuresWithoutAChip"
  "Rates/QklAtBothRates.ModeThreeWritesTheImageIntoTheEepromFile/HighSpeed"
  "Rates/QklAtBothRates.ModeThreeWritesTheImageIntoTheEepromFile/NormalSpeed"
  "ReadBack.BlankAndAllZeroEepromsGiveTheirKnownChecksums"
  "ReadBack.ReaderThatFindsNoEepromNeverAnswersAndNothingIsWritten")

# Cases that only wait out the protocol's time limits for minutes on end: the 1000 detections
# without a chip take 0.35 s each, six minutes in all, set by the reset wait and the reply
# time-out; against an echoing line 0.15 s each, and against a chip 0.1 s each. Labelled
# endurance: the default test preset leaves them out and its own preset runs them, beside the
# rest of CI, since they need little processor time. The front end's tests run all three in
# virtual time in the default suite.
set(endurance_cases "QklDetectionTest.ThousandFailuresWithoutAChip"
                    "DetectionTestFaults.EchoingLineFailsEveryAttempt"
                    "QklDetectionTest.ThousandDetectionsOfAChip")

# Cases that the sanitized build runs for minutes on the emulator, whose code another case of
# their suite runs there too, at another clock and rate: labelled repeat, which the asan test
# preset leaves out (the default suite runs them all).
set(repeat_cases
  "ClockAndRate/ReaderProgram.SendsTheWholeEepromAndItsCrcThenStopsTheChip/12MHz_115200"
  "ClockAndRate/ReaderProgram.SendsTheWholeEepromAndItsCrcThenStopsTheChip/8MHz_230400")

function(qkl_matches name patterns result)
  set(${result} FALSE PARENT_SCOPE)
  foreach(pattern IN LISTS ${patterns})
    if(name MATCHES "${pattern}")
      set(${result} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

foreach(case IN LISTS qkl_cases)
  qkl_matches("${case}" core_cases core)
  if(core)
    set_tests_properties("${case}" PROPERTIES RESOURCE_LOCK core)
  endif()
  set(labels "")
  foreach(label IN ITEMS slow endurance repeat)
    list(FIND ${label}_cases "${case}" found)
    if(found GREATER -1)
      list(APPEND labels ${label})
    endif()
  endforeach()
  if(labels)
    set_tests_properties("${case}" PROPERTIES LABELS "${labels}")
  endif()
endforeach()
