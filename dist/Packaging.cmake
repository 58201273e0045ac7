# `make package`: a Debian package of the installed layout under /usr, its
# dependencies computed from the programs' shared libraries (dpkg-shlibdeps,
# from dpkg-dev). The version is the project's, and dist/changelog has an
# entry for it. The build is hardened (cmake/Hardening.cmake); lintian
# --pedantic accepts the result without an error or warning
# (tests/install/lintian_test.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vocalith)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Vocalith maintainers <maintainers@vocalith.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "speech workbench: English text spoken with voices you record")
# No ';' in these texts: CMake would take it as a list separator.
set(CPACK_PACKAGE_DESCRIPTION
    "Vocalith turns English sentences into phonetic strings with a fixed set of\n\
letter-to-sound rules and speaks them by playing one short recorded clip\n\
per phoneme. It comes with the voice Voxa. Record phonemes with the\n\
microphone to make voices of your own. The package holds the window\n\
(vocalith), the command-line tool (vocalith-tts) and the speech-dispatcher\n\
module (sd_vocalith in /usr/lib/speech-dispatcher-modules, where\n\
speech-dispatcher finds it), so the desktop can speak with Vocalith voices.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's narrow dialog face, so its texts fit as drawn; shared
# libraries are added to this list by the shlibdeps step.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra")
# PortAudio reaches a desktop's PulseAudio or PipeWire server through ALSA's
# pulse plugin (without it only the bare sound cards are heard); the module
# speaks only through a speech-dispatcher server; voice build and the
# recorder find each sound in a recorded word, and check the voice made, with
# pocketsphinx's US English model (without it they cut by loudness alone).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libasound2-plugins, speech-dispatcher, pocketsphinx-en-us")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)

# A stripped install (the package, cmake --install --strip) also drops the
# compilers' .comment and .note sections from the programs, as Debian's own
# packages do: they only name the compiler versions.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program vocalith vocalith-tts)
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
      if(EXISTS \"\${file}\")
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                --remove-section=.note \"\${file}\" COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endforeach()
  endif()")
