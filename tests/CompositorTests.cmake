# Read by ctest after the discovered tests: those that start a whole compositor (GNOME Shell, KWin,
# sway) take turns with each other and get the time such a start takes on a loaded machine, where
# two of them at once on two processors beside a build stretch a four-second test past half a minute.
string(CONCAT compositorTests "^(GnomeShellApplicationActivations[.](Until|TheExtensionTurnedOn)|"
    "HeadlessCompositor[.]|KWinApplicationActivations[.]|ForeignToplevelApplicationActivations[.]|"
    "IdleTimeLinux[.]On|Compositors/|MainOnGnomeShell[.]|AppControllerOnGnomeShell[.])")
foreach(test IN LISTS quillfen_platform_tests_TESTS quillfen_app_tests_TESTS)
    if(test MATCHES "${compositorTests}")
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK compositor TIMEOUT 90)
    endif()
endforeach()
