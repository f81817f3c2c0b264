# Built-in site values. The defaults are the demo site's; a real site configures
# its own values (cmake -DLODVAR_PASS_PHRASE=...) and never commits them.
set(LODVAR_PASS_PHRASE "Dem0PassPhrase7" CACHE STRING
    "Pass phrase of the stored-password texts (15 ASCII letters and digits)")
set(LODVAR_DB_HOST "127.0.0.1" CACHE STRING "Built-in database server host")
set(LODVAR_DB_PORT "0" CACHE STRING "Built-in database server port (0: the client library's default)")
set(LODVAR_DB_PASSWORD "lodvar" CACHE STRING "Built-in password of the database user lodvar")
set(LODVAR_PROFILE_PASSWORD "Dem0Pr0f1lePassw0rd7" CACHE STRING
    "Fixed password of every connection-profile login (20 ASCII letters and digits)")
set(LODVAR_MAP_API_KEY "DemoMapApiKey00000000000000000000000000" CACHE STRING
    "API key of the map service (39 characters)")
set(LODVAR_ICON_HOST "localhost" CACHE STRING "Host of the icon web server")
set(LODVAR_STATEMENT_TIMEOUT "60" CACHE STRING
    "Seconds a statement may wait for the database server before it is cancelled (1..86400)")
set(LODVAR_MAP_TILE_URL "" CACHE STRING
    "Online map tiles over the bundled base map: URL template with {z}, {x}, {y}, {apikey} (empty: offline only)")

foreach(value IN ITEMS LODVAR_PASS_PHRASE LODVAR_PROFILE_PASSWORD)
    if(NOT ${value} MATCHES "^[A-Za-z0-9]+$")
        message(FATAL_ERROR "${value} must hold ASCII letters and digits only")
    endif()
endforeach()
string(LENGTH "${LODVAR_PASS_PHRASE}" _len)
if(NOT _len EQUAL 15)
    message(FATAL_ERROR "LODVAR_PASS_PHRASE must be 15 characters long")
endif()
string(LENGTH "${LODVAR_PROFILE_PASSWORD}" _len)
if(NOT _len EQUAL 20)
    message(FATAL_ERROR "LODVAR_PROFILE_PASSWORD must be 20 characters long")
endif()

if(NOT LODVAR_STATEMENT_TIMEOUT MATCHES "^[1-9][0-9]*$" OR LODVAR_STATEMENT_TIMEOUT GREATER 86400)
    message(FATAL_ERROR "LODVAR_STATEMENT_TIMEOUT must be a whole number of seconds from 1 to 86400")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/LodvarSiteConfig.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/LodvarSiteConfig.h @ONLY)
