# Ember+: BER, S101 framing and the Glow element tree, core only.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Ber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/S101.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Glow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EmberProvider.cpp
)
