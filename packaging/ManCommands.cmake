# Writes a help2man include file for a program with commands: its --help as the DESCRIPTION, kept
# as laid out (help2man would run the command list together), and a COMMANDS section with each
# command's --help without the exit statuses the DESCRIPTION lists and with the product list
# only the first time.
# cmake -DPROGRAM=<executable> -DCOMMANDS=<a,b,...> -DOUTPUT=<file> -P ManCommands.cmake

# The program's answer to `arguments`, as roff lines kept as they are.
function(help_text result)
    execute_process(COMMAND "${PROGRAM}" ${ARGN} OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${PROGRAM} ${ARGN} failed (${status})")
    endif()
    string(STRIP "${help}" help)
    # roff: a backslash is \e, a minus sign \-, and a line must not start with a control character.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REPLACE "-" "\\-" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    set(${result} "${help}" PARENT_SCOPE)
endfunction()

help_text(overview --help)
# The usage line is the SYNOPSIS already.
string(REGEX REPLACE "^Usage:[^\n]*\n" "" overview "${overview}")
set(text "[=DESCRIPTION]\n.nf\n${overview}\n.fi\n\n[COMMANDS]\n")
string(REPLACE "," ";" commands "${COMMANDS}")
set(products_shown FALSE)
foreach(command IN LISTS commands)
    help_text(help ${command} --help)
    string(REGEX REPLACE "\nExit status:.*" "" help "${help}")
    if(products_shown)
        string(REGEX REPLACE "\nProducts \\(ROW\\):.*" "" help "${help}")
    elseif(help MATCHES "\nProducts \\(ROW\\):")
        set(products_shown TRUE)
    endif()
    string(STRIP "${help}" help)
    string(APPEND text ".SS ${command}\n.nf\n${help}\n.fi\n")
endforeach()
file(WRITE "${OUTPUT}" "${text}")
