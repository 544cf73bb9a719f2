# Read by ctest after the discovered tests: the time some tests are given beyond their executable's,
# each at least three times what it takes on two processors beside a build (nproc 2, a compiler
# running on both), so that only a test that hangs runs out of it.
#
# Those that start a whole compositor (GNOME Shell, KWin, sway) also take turns with each other:
# two of them at once on two processors beside a build stretch a four-second test past half a minute.
string(CONCAT compositorTests "^(GnomeShellApplicationActivations[.](Until|TheExtensionTurnedOn|ExtensionsTurnedOn)|"
    "HeadlessCompositor[.]|KWinApplicationActivations[.]|ForeignToplevelApplicationActivations[.]|"
    "IdleTimeLinux[.]On|Compositors/|MainOnGnomeShell[.]|AppControllerOnGnomeShell[.])")
# Those that spend their time starting programs, dozens of them: the install and uninstall scripts
# and the checkout's judge, the scripts Claude Code runs, a writer killed thirty times mid-write, the
# application started and ended over and over, a morning of work lived in seconds. A loaded machine
# makes each start several times slower: the longest took 45 seconds there, and 63 in the sanitizer
# build, whose programs start slower still.
string(CONCAT programTests "^(Install[.]|ClaudeFaceInstaller[.]|Journals[.]|LaunchAgent[.]|HostileHome[.]|"
    "Main[.]|RenderRun[.])")
foreach(test IN LISTS quillfen_platform_tests_TESTS quillfen_app_tests_TESTS quillfen_desktop_tests_TESTS)
    if(test MATCHES "${compositorTests}")
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK compositor TIMEOUT 90)
    elseif(test MATCHES "${programTests}")
        set_tests_properties("${test}" PROPERTIES TIMEOUT 200)
    endif()
endforeach()
