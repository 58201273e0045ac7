# The audio engine: capture list, speech output stream, audio pump, effect
# slots, the RIFF reader, the music stand-in and the sound window.
add_library(vocalith_audio
  ${CMAKE_CURRENT_LIST_DIR}/audio_pump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/effect_slots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/riff_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/speech_stream.cpp)
target_include_directories(vocalith_audio PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(vocalith_audio PUBLIC vocalith_mixer vocalith_audio_device vocalith_voice
                      vocalith_workbuf Threads::Threads)
