# The build enforces the layers: scripts/checklayers.sh fails when a lower folder
# includes a higher one or code outside platform/ includes a back-end library's header.
add_custom_target(layers ALL
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/checklayers.sh ${CMAKE_SOURCE_DIR}
  COMMENT "Checking the include layers"
  VERBATIM)
