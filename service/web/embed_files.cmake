# Adds to mailwarden_service the files it serves from inside the program:
# the pages' stylesheet and script (service/web) and the machine patterns of
# the event classification (service/events), as generated sources.
set(web ${CMAKE_CURRENT_SOURCE_DIR}/web)
set(events ${CMAKE_CURRENT_SOURCE_DIR}/events)
function(mailwarden_embed output namespace entries)
  string(REPLACE "|" ";" inputs "${entries}")
  list(TRANSFORM inputs REPLACE "^[^=]*=" "")
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DNAMESPACE=${namespace} -DENTRIES=${entries} -P ${web}/embed.cmake
    DEPENDS ${inputs} ${web}/embed.cmake VERBATIM)
  target_sources(mailwarden_service PRIVATE ${output})
endfunction()
mailwarden_embed(${CMAKE_CURRENT_BINARY_DIR}/web_files.cpp mailwarden::pages
                 "kSiteCss=${web}/site.css|kLocalTimeJs=${web}/local-time.js|kLiveJs=${web}/live.js")
mailwarden_embed(${CMAKE_CURRENT_BINARY_DIR}/machine_data.cpp mailwarden::events
                 "kMachineAgentsText=${events}/machine_agents.txt|kMachineNetworksText=${events}/machine_networks.txt")
