#!/usr/bin/env python3
"""README's examples run against a build: runExamples.py README BIN WORK [--only SECTION_REGEX] [EMULATOR...]

`console` blocks run in a scratch folder per `## ` section, BIN first on PATH, each `$ ` command's
output (standard error too) compared with the lines after it (`...` is any text, alone any lines;
`[exit N]` compares the exit code). `json file=NAME` blocks are written there first. Every `json`
block must parse, and the simulator must accept each topology shown, or refuse one marked `invalid`.
With an EMULATOR, `zu7461-probe` is the .exe run through it.
"""
import json, os, re, shutil, signal, subprocess, sys


def blocks(a_Readme):
    """(section, first line number, info string, lines) of every fenced block."""
    l_Section, l_Open, l_Blocks = '', None, []
    for l_Number, l_Line in enumerate(open(a_Readme, encoding='utf-8').read().split('\n'), 1):
        l_Fence = re.match(r'(`{3,})\s*(.*)$', l_Line)
        if l_Open and l_Fence and l_Fence.group(1) == l_Open[0] and not l_Fence.group(2):
            l_Blocks.append((l_Section,) + l_Open[1:])
            l_Open = None
        elif l_Open:
            l_Open[3].append(l_Line)
        elif l_Fence:
            l_Open = (l_Fence.group(1), l_Number + 1, l_Fence.group(2), [])
        elif l_Line.startswith('## '):
            l_Section = l_Line[3:].strip()
    return l_Blocks


def trimmed(a_Lines):
    l_Lines = [l_Line.rstrip() for l_Line in a_Lines]
    while l_Lines and not l_Lines[-1]:
        l_Lines.pop()
    return l_Lines


def matches(a_Expected, a_Actual):
    l_Pattern = ''.join('(?:.*\n)*' if l_Line == '...' else re.escape(l_Line).replace(r'\.\.\.', '.*') + '\n'
                        for l_Line in a_Expected)
    return re.fullmatch(l_Pattern, ''.join(l_Line + '\n' for l_Line in a_Actual)) is not None


def run(a_Command, a_Folder, a_Environment):
    """Exit code and output lines of a shell command; a hang ends in a failure, not a stuck test."""
    # A session of its own, so that a hang ends with everything the command started.
    l_Process = subprocess.Popen(['sh', '-c', a_Command], cwd=a_Folder, env=a_Environment, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        l_Out, l_Exit = l_Process.communicate(timeout=120)[0], l_Process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(l_Process.pid, signal.SIGKILL)
        l_Out, l_Exit = l_Process.communicate()[0], 'none: killed after 120 s'
    return l_Exit, trimmed(l_Out.decode('utf-8', 'replace').replace('\r\n', '\n').split('\n'))


def main(a_Arguments):
    l_Readme, l_Bin, l_Work = (os.path.abspath(l_Path) for l_Path in a_Arguments[:3])
    l_Only, l_Emulator = (a_Arguments[4], a_Arguments[5:]) if a_Arguments[3:4] == ['--only'] else ('', a_Arguments[3:])
    l_Environment = {l_Name: l_Value for l_Name, l_Value in os.environ.items() if not l_Name.startswith('ZUPCIBRD_SIM_')}
    l_Path = l_Bin
    if l_Emulator:
        # The examples' probe is then the .exe, run through the emulator by a script of its name.
        l_Path = os.path.join(l_Work, 'emulated')
        os.makedirs(l_Path, exist_ok=True)
        with open(os.path.join(l_Path, 'zu7461-probe'), 'w') as l_File:
            l_File.write('#!/bin/sh\nexec %s "%s/zu7461-probe.exe" "$@"\n' % (' '.join(l_Emulator), l_Bin))
        os.chmod(os.path.join(l_Path, 'zu7461-probe'), 0o755)
    l_Environment.update(PATH=l_Path + os.pathsep + os.environ.get('PATH', ''), ZU_DEMO_BIN=l_Bin)
    l_Failures, l_Folders, l_Count = [], {}, 0

    def fail(a_Line, a_What, a_Expected, a_Actual):
        l_Failures.append('README.md:%d: %s\n--- expected:\n%s\n--- actual:\n%s\n' %
                          (a_Line, a_What, '\n'.join(a_Expected), '\n'.join(a_Actual)))

    def folder(a_Section):
        if a_Section not in l_Folders:
            l_Folders[a_Section] = os.path.join(l_Work, '%02d' % len(l_Folders))
            shutil.rmtree(l_Folders[a_Section], ignore_errors=True)
            os.makedirs(l_Folders[a_Section])
            # As in the repository's root, where a reader runs the scripts.
            os.symlink(os.path.join(os.path.dirname(l_Readme), 'scripts'), os.path.join(l_Folders[a_Section], 'scripts'))
        return l_Folders[a_Section]

    l_Blocks = [l_Block for l_Block in blocks(l_Readme) if re.search(l_Only, l_Block[0])]
    # Files first, so that the commands of their section find them.
    for l_Section, l_Line, l_Info, l_Lines in (l_Block for l_Block in l_Blocks if l_Block[2].split()[:1] == ['json']):
        l_Named = [l_Word[5:] for l_Word in l_Info.split() if l_Word.startswith('file=')]
        l_Name, l_Invalid = (l_Named + ['shown-%d.json' % l_Line])[0], 'invalid' in l_Info.split()
        with open(os.path.join(folder(l_Section), l_Name), 'w', encoding='utf-8') as l_File:
            l_File.write('\n'.join(l_Lines) + '\n')
        try:
            l_Parsed = json.loads('\n'.join(l_Lines))
            l_Topology = isinstance(l_Parsed, dict) and 'rootBuses' in l_Parsed
        except ValueError as l_Error:
            l_Topology = l_Invalid or fail(l_Line, 'not valid JSON (%s); mark it `json invalid`' % l_Error, [], l_Lines)
        if l_Topology or l_Named:
            l_Count += 1
            l_Command = 'ZUPCIBRD_SIM_TOPOLOGY=%s zu7461-probe' % l_Name
            l_Exit, l_Actual = run(l_Command, folder(l_Section), l_Environment)
            if l_Invalid != any('-313005' in l_Out for l_Out in l_Actual):
                fail(l_Line, '$ %s: the simulator must %s this file' % (l_Command, 'refuse' if l_Invalid else 'accept'),
                     ['...-313005...' if l_Invalid else '(no -313005)'], l_Actual + ['[exit %s]' % l_Exit])

    for l_Section, l_Line, l_Info, l_Lines in (l_Block for l_Block in l_Blocks if l_Block[2] == 'console'):
        l_Sessions = []  # [line, command, expected lines, exit code]
        for l_Offset, l_Text in enumerate(l_Lines):
            l_Exit = re.match(r'\[exit (\d+)\]$', l_Text.strip())
            if l_Text.startswith('$ '):
                l_Sessions.append([l_Line + l_Offset, l_Text[2:], [], None])
            elif l_Sessions and l_Exit:
                l_Sessions[-1][3] = int(l_Exit.group(1))
            elif l_Sessions:
                l_Sessions[-1][2].append(l_Text)
        for l_Number, l_Command, l_Expected, l_ExpectedExit in l_Sessions:
            l_Count, l_Expected = l_Count + 1, trimmed(l_Expected)
            l_Exit, l_Actual = run(l_Command, folder(l_Section), l_Environment)
            if not matches(l_Expected, l_Actual) or l_ExpectedExit not in (None, l_Exit):
                fail(l_Number, '$ ' + l_Command, l_Expected + ['[exit %s]' % l_ExpectedExit] * (l_ExpectedExit is not None),
                     l_Actual + ['[exit %s]' % l_Exit])

    sys.stdout.write(''.join(l_Failures))
    print('%d of %d README examples failed' % (len(l_Failures), l_Count))
    return 1 if l_Failures or not l_Count else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
