<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ActionError</name>
    <message>
        <location filename="../src/storage/actionerror.cpp" line="14"/>
        <location filename="../src/storage/fileerror.cpp" line="11"/>
        <source>%1 failed.</source>
        <translation>%1失败。</translation>
    </message>
    <message>
        <location filename="../src/storage/actionerror.cpp" line="17"/>
        <location filename="../src/storage/fileerror.cpp" line="13"/>
        <source>Reason: %1</source>
        <translation>原因：%1</translation>
    </message>
</context>
<context>
    <name>AppFolder</name>
    <message>
        <location filename="../src/storage/appfolder.cpp" line="12"/>
        <source>Finding the program&apos;s own folder</source>
        <translation>查找程序自身所在的文件夹</translation>
    </message>
    <message>
        <location filename="../src/storage/appfolder.cpp" line="21"/>
        <source>The folder&apos;s path is empty</source>
        <translation>文件夹的路径是空的</translation>
    </message>
    <message>
        <location filename="../src/storage/appfolder.cpp" line="40"/>
        <source>Its name cannot be read. Move the program into a folder whose name is valid text.</source>
        <translation>无法读取它的名称。请把程序移到名称为有效文字的文件夹中。</translation>
    </message>
    <message>
        <location filename="../src/storage/appfolder.cpp" line="44"/>
        <source>It is not a folder that exists</source>
        <translation>这不是一个存在的文件夹</translation>
    </message>
</context>
<context>
    <name>CacheClient</name>
    <message>
        <location filename="../src/commands/scriptlines/cacheclient_unix.cpp" line="26"/>
        <source>not on PATH</source>
        <translation>不在 PATH 中</translation>
    </message>
</context>
<context>
    <name>CacheWindow</name>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="49"/>
        <source>Reading the server list</source>
        <translation>读取服务器列表</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="86"/>
        <source>%1 servers selected</source>
        <translation>已选 %1 台服务器</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="91"/>
        <source>Adding a server</source>
        <translation>添加服务器</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="124"/>
        <source>Purging</source>
        <translation>更新缓存</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="140"/>
        <source>Showing the results</source>
        <translation>显示结果</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="151"/>
        <source>Querying the server&apos;s status</source>
        <translation>查看服务器状态</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="183"/>
        <source>The text is too large for this computer&apos;s memory.</source>
        <translation>文字太大，这台计算机的内存放不下。</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="183"/>
        <source>Out of memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="194"/>
        <source>The previous purge is still running.

Stop it and start this one?</source>
        <translation>上一次更新缓存仍在运行。

要停止它并开始这一次吗？</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="197"/>
        <source>Stop it and purge</source>
        <translation>停止并更新</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="198"/>
        <source>Let it run</source>
        <translation>让它继续运行</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="209"/>
        <source>Send it</source>
        <translation>仍然发送</translation>
    </message>
    <message>
        <location filename="../src/window/cachewindow.cpp" line="210"/>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <location filename="../src/window/desktopnotifier.cpp" line="15"/>
        <source>Quellory: the purge report cannot be shown: %1</source>
        <translation>Quellory：无法显示清除报告：%1</translation>
    </message>
    <message>
        <location filename="../src/window/desktopnotifier_win.cpp" line="33"/>
        <source>there is no system tray</source>
        <translation>没有系统托盘</translation>
    </message>
    <message>
        <location filename="../src/window/desktopnotifier_unix.cpp" line="141"/>
        <source>there is no session bus (%1)</source>
        <translation>没有会话总线 (%1)</translation>
    </message>
    <message>
        <location filename="../src/window/desktopnotifier_unix.cpp" line="145"/>
        <source>Show results</source>
        <translation>显示结果</translation>
    </message>
</context>
<context>
    <name>EncodingList</name>
    <message>
        <location filename="../src/storage/encodinglist.cpp" line="12"/>
        <source>Reading the Accept-Encoding values</source>
        <translation>读取 Accept-Encoding 值</translation>
    </message>
    <message>
        <location filename="../src/storage/encodinglist.cpp" line="53"/>
        <source>The file is larger than %1 KiB, far more than any list of Accept-Encoding values; it is left as it is and not used.</source>
        <translation>文件大于 %1 KiB，远超任何 Accept-Encoding 值列表；文件保持原样，未被使用。</translation>
    </message>
    <message>
        <location filename="../src/storage/encodinglist.cpp" line="64"/>
        <source>The file holds %1 values; a purge sends at most %2, each of them twice for every URL. It is left as it is and not used.</source>
        <translation>该文件含有 %1 个值；一次更新最多发送 %2 个，每个网址每个值发送两次。文件保持原样，未被使用。</translation>
    </message>
</context>
<context>
    <name>FileError</name>
    <message>
        <location filename="../src/storage/fileerror.cpp" line="12"/>
        <source>File: %1</source>
        <translation>文件：%1</translation>
    </message>
</context>
<context>
    <name>NoClientError</name>
    <message>
        <location filename="../src/commands/scriptlines/noclienterror.cpp" line="6"/>
        <source>Finding a client for the cache server</source>
        <translation>查找访问缓存服务器的客户端</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/noclienterror.cpp" line="11"/>
        <source>Nothing was written or started.

There is no squidclient beside the program (%1), and no curl (%2). Put squidclient into the program&apos;s folder, or install curl.</source>
        <translation>没有写入或启动任何内容。

程序所在文件夹中没有 squidclient（%1），也没有 curl（%2）。请把 squidclient 放进程序的文件夹，或者安装 curl。</translation>
    </message>
</context>
<context>
    <name>PurgeGrid</name>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="13"/>
        <source>%1: cannot connect</source>
        <translation>%1：无法连接</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="22"/>
        <source>%1: did not start (%2)</source>
        <translation>%1：没有开始（%2）</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="35"/>
        <source>%1 on %2</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="35"/>
        <source>, </source>
        <translation>，</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="40"/>
        <source>Not purged: %1</source>
        <translation>清除失败：%1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="40"/>
        <source>; </source>
        <translation>；</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="47"/>
        <location filename="../src/commands/actions/purgegrid.cpp" line="59"/>
        <source>and %1 more servers (see the results)</source>
        <translation>另有 %1 台服务器（见结果）</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgegrid.cpp" line="83"/>
        <source>%1 servers: %2 of %3 URLs answered so far</source>
        <translation>%1 台服务器：已应答 %2 / %3 个网址</translation>
    </message>
</context>
<context>
    <name>PurgeReport</name>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="18"/>
        <source>purged %1 (%2 copies)</source>
        <translation>已清除 %1（%2 个副本）</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="19"/>
        <source>purged %1</source>
        <translation>已清除 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="21"/>
        <source>not removed %1</source>
        <translation>未清除 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="23"/>
        <source>not in the cache %1</source>
        <translation>不在缓存中 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="25"/>
        <source>refused %1</source>
        <translation>被拒绝 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="27"/>
        <source>other answer %1</source>
        <translation>其他应答 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="29"/>
        <source>cannot connect %1</source>
        <translation>无法连接 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="31"/>
        <source>no answer %1</source>
        <translation>无应答 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="33"/>
        <source>did not run %1</source>
        <translation>未能运行 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="107"/>
        <source>not listed %1</source>
        <translation>未列出 %1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="115"/>
        <location filename="../src/commands/actions/purgereport.cpp" line="123"/>
        <location filename="../src/commands/actions/purgereport.cpp" line="130"/>
        <source>, </source>
        <translation>，</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="121"/>
        <source>%1: 1 URL</source>
        <translation>%1：共 1 个网址</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="121"/>
        <source>%1: %2 URLs</source>
        <translation>%1：共 %2 个网址</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="123"/>
        <source> — </source>
        <translation> — </translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="130"/>
        <source>Not purged: %1</source>
        <translation>清除失败：%1</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="136"/>
        <source>Not listed: the cache manager did not give its list of objects</source>
        <translation>未列出：缓存管理器没有给出对象列表</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="139"/>
        <source>Not listed: the list of objects came cut (see read_ahead_gap)</source>
        <translation>未列出：对象列表不完整（见 read_ahead_gap）</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="142"/>
        <source>Not listed: a copy was made with a header no purge can send</source>
        <translation>未列出：有副本的请求头是清除无法发送的</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgereport.cpp" line="186"/>
        <source>%1: %2 of %3 URLs answered so far</source>
        <translation>%1：已应答 %2 / %3 个网址</translation>
    </message>
</context>
<context>
    <name>QLineEdit</name>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="12"/>
        <source>&amp;Undo</source>
        <translation>撤销(&amp;U)</translation>
    </message>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="13"/>
        <source>&amp;Redo</source>
        <translation>恢复(&amp;R)</translation>
    </message>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="13"/>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="14"/>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="14"/>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="15"/>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="15"/>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <location filename="../src/window/uilanguage.cpp" line="12"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>QWidgetTextControl</name>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="42"/>
        <source>&amp;Undo</source>
        <translation>撤销(&amp;U)</translation>
    </message>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="44"/>
        <source>&amp;Redo</source>
        <translation>恢复(&amp;R)</translation>
    </message>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="47"/>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="49"/>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="51"/>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="53"/>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <location filename="../src/outputbox/widget/editmenu.cpp" line="56"/>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
</context>
<context>
    <name>RefusalReason</name>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="14"/>
        <source>a NUL character</source>
        <translation>NUL 字符</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="19"/>
        <source>half of a character (%1, a UTF-16 surrogate without its other half)</source>
        <translation>半个字符（%1，缺少另一半的 UTF-16 代理项）</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="26"/>
        <source>a line break (CR LF)</source>
        <translation>换行 (CR LF)</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="31"/>
        <source>a double quote</source>
        <translation>双引号</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="36"/>
        <source>a line break</source>
        <translation>换行</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="41"/>
        <source>a control character (%1), which a header cannot hold</source>
        <translation>请求头中不能有的控制字符（%1）</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="47"/>
        <source>a control character (%1), which would end the request line and start another one</source>
        <translation>控制字符（%1），它会结束请求行并开始另一个请求</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="55"/>
        <source>a control character (%1) that cmd.exe would not pass on unchanged</source>
        <translation>cmd.exe 无法原样传递的控制字符（%1）</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="62"/>
        <source>too much text: its script line would be %L1 characters long, and cmd.exe reads no more than %L2 of a line</source>
        <translation>过多的文字：脚本中的这一行将有 %L1 个字符，而 cmd.exe 一行最多只读 %L2 个字符</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="72"/>
        <source>a leading &quot;-&quot;, which squidclient would take as an option</source>
        <translation>开头的“-”，squidclient 会把它当作选项</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="77"/>
        <source>no name, and curl needs a host name or address for its URL</source>
        <translation>空名称，而 curl 的网址需要主机名或地址</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="82"/>
        <source>“%1”, which a URL&apos;s host name cannot hold (curl is given the server in a URL: a name of letters, digits, &quot;.&quot;, &quot;-&quot; and &quot;_&quot;, or an IP address)</source>
        <translation>“%1”，网址的主机名中不能有这个字符（curl 从网址中得到服务器：只能是由字母、数字、&quot;.&quot;、&quot;-&quot; 和 &quot;_&quot; 组成的名称，或者 IP 地址）</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="90"/>
        <source>a network path, which cmd.exe cannot run a script from (give the share a drive letter and start the program from there)</source>
        <translation>网络路径，cmd.exe 无法从那里运行脚本（请给共享文件夹分配一个驱动器号，并从那里启动程序）</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="97"/>
        <source>“%1”, a character that Windows code page %2 has no place for</source>
        <translation>“%1”，Windows 代码页 %2 中没有的字符</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="104"/>
        <source>“%1”, which cmd.exe would read as another character (the script is written in code page %2, cmd.exe reads it in code page %3)</source>
        <translation>“%1”，cmd.exe 会把它读成别的字符（脚本以代码页 %2 写入，cmd.exe 以代码页 %3 读取）</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/refusalreason.cpp" line="114"/>
        <source>characters that cmd.exe would read differently in code page %1</source>
        <translation>cmd.exe 在代码页 %1 中会读成别的字符的字符</translation>
    </message>
</context>
<context>
    <name>RegularFile</name>
    <message>
        <location filename="../src/storage/regularfile.cpp" line="13"/>
        <source>This is not an ordinary file</source>
        <translation>这不是普通文件</translation>
    </message>
    <message>
        <location filename="../src/storage/regularfile.cpp" line="18"/>
        <source>Another program holds this file and did not let go of it within %1 seconds. Try again once it has.</source>
        <translation>另一个程序占用着这个文件，%1 秒内没有放开。请等它放开后再试。</translation>
    </message>
    <message>
        <location filename="../src/storage/regularfile.cpp" line="33"/>
        <source>What had been written could not be taken out again: the file may end with part of the line.</source>
        <translation>已写入的部分也无法再去掉：文件末尾可能留有这一行的一部分。</translation>
    </message>
</context>
<context>
    <name>ResultReader</name>
    <message>
        <location filename="../src/commands/actions/resultreader.cpp" line="36"/>
        <source>[The answer is cut here, at %1 MiB. All of it is in the result file %2]</source>
        <translation>[回答在 %1 MiB 处截断，完整回答在结果文件 %2 中]</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/resultreader.cpp" line="39"/>
        <source>[The answers are cut here, at %1 MiB. From the result file %2 on, they are whole in the result files]</source>
        <translation>[回答在 %1 MiB 处截断；从结果文件 %2 起，完整回答都在各自的结果文件中]</translation>
    </message>
</context>
<context>
    <name>RunningScripts</name>
    <message>
        <location filename="../src/commands/actions/runningscripts.cpp" line="163"/>
        <source>=== %1 ===</source>
        <translation>=== %1 ===</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/runningscripts.cpp" line="192"/>
        <source>%1: the purge did not start
%2</source>
        <translation>%1：清除没有开始
%2</translation>
    </message>
</context>
<context>
    <name>ScriptRunner</name>
    <message>
        <location filename="../src/commands/scripts/scriptrunner.cpp" line="37"/>
        <source>Starting a command script</source>
        <translation>启动命令脚本</translation>
    </message>
</context>
<context>
    <name>ScriptWriter</name>
    <message>
        <location filename="../src/commands/scripts/companionfile.cpp" line="28"/>
        <location filename="../src/commands/scripts/runcopy.cpp" line="8"/>
        <location filename="../src/commands/scripts/scriptwriter.cpp" line="16"/>
        <source>Writing a command script</source>
        <translation>写入命令脚本</translation>
    </message>
</context>
<context>
    <name>ServerFolder</name>
    <message>
        <location filename="../src/commands/actions/serverfolder.cpp" line="14"/>
        <source>Making a server&apos;s folder of results</source>
        <translation>创建服务器的结果文件夹</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/serverfolder.cpp" line="20"/>
        <source>The folder cannot be made</source>
        <translation>无法创建该文件夹</translation>
    </message>
</context>
<context>
    <name>ServerList</name>
    <message>
        <location filename="../src/storage/serverlist.cpp" line="21"/>
        <source>Reading the server list</source>
        <translation>读取服务器列表</translation>
    </message>
    <message>
        <location filename="../src/storage/serverlist.cpp" line="25"/>
        <source>The file is larger than %1 MiB, far more than any list of servers; it is left as it is and not shown.</source>
        <translation>文件大于 %1 MiB，远超任何服务器列表的大小；文件保持原样，不予显示。</translation>
    </message>
    <message>
        <location filename="../src/storage/serverlist.cpp" line="31"/>
        <source>The file has more than %1 lines, far more than any list of servers; it is left as it is and not shown.</source>
        <translation>该文件超过 %1 行，远多于任何服务器列表；文件保持原样，不予显示。</translation>
    </message>
    <message>
        <location filename="../src/storage/serverlist.cpp" line="38"/>
        <source>The file has a line of more than %1 characters, far longer than any server&apos;s name; it is left as it is and not shown.</source>
        <translation>该文件有一行超过 %1 个字符，远长于任何服务器名称；文件保持原样，不予显示。</translation>
    </message>
</context>
<context>
    <name>SquidclientLine</name>
    <message>
        <location filename="../src/commands/scriptlines/squidclientline.cpp" line="113"/>
        <source>The application folder</source>
        <translation>程序所在的文件夹</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/squidclientline.cpp" line="120"/>
        <source>The server</source>
        <translation>服务器</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/squidclientline.cpp" line="128"/>
        <source>curl&apos;s path</source>
        <translation>curl 的路径</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/squidclientline.cpp" line="211"/>
        <source>URL line %1 (%2)</source>
        <translation>第 %1 行 (%2)</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/squidclientline.cpp" line="217"/>
        <source>Accept-Encoding value %1 (encodings.txt)</source>
        <translation>第 %1 个 Accept-Encoding 值 (encodings.txt)</translation>
    </message>
</context>
<context>
    <name>StatusQuery</name>
    <message>
        <location filename="../src/commands/actions/purgelisting.cpp" line="67"/>
        <location filename="../src/commands/actions/statusquery.cpp" line="44"/>
        <location filename="../src/commands/actions/statusquery.cpp" line="73"/>
        <source>The request</source>
        <translation>请求</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/purgelisting.cpp" line="103"/>
        <location filename="../src/commands/actions/statusquery.cpp" line="84"/>
        <source>Writing curl&apos;s config file</source>
        <translation>写入 curl 的配置文件</translation>
    </message>
</context>
<context>
    <name>TextFile</name>
    <message>
        <location filename="../src/storage/textfile.cpp" line="21"/>
        <source>Reading a file</source>
        <translation>读取文件</translation>
    </message>
    <message>
        <location filename="../src/storage/textfile.cpp" line="101"/>
        <source>Appending a line to a file</source>
        <translation>向文件追加一行</translation>
    </message>
    <message>
        <location filename="../src/storage/textfile.cpp" line="103"/>
        <source>No file name given</source>
        <translation>没有给出文件名</translation>
    </message>
</context>
<context>
    <name>UnsafeTextError</name>
    <message>
        <location filename="../src/commands/scriptlines/unsafetexterror.cpp" line="6"/>
        <source>Passing a text to the command interpreter</source>
        <translation>把文字传给命令解释器</translation>
    </message>
    <message>
        <location filename="../src/commands/scriptlines/unsafetexterror.cpp" line="16"/>
        <source>Nothing was written or started.

%1 cannot be passed safely to the command interpreter: it holds %2.

%3</source>
        <translation>没有写入或启动任何内容。

%1无法安全地传给命令解释器：其中含有%2。

%3</translation>
    </message>
</context>
<context>
    <name>UntrustedPathError</name>
    <message>
        <location filename="../src/storage/untrustedpatherror.cpp" line="44"/>
        <source>Checking who may change the program&apos;s files</source>
        <translation>检查谁可以修改程序的文件</translation>
    </message>
    <message>
        <location filename="../src/storage/untrustedpatherror.cpp" line="50"/>
        <source>Nothing was written or started.

%1 is %2. Whoever can change it can make this program run their own commands as you. Make it yours, writable by you alone (chmod go-w), and try again.</source>
        <translation>没有写入或启动任何内容。

%1 %2。能修改它的人可以让本程序以您的身份运行他们自己的命令。请使它归您所有、只有您可写（chmod go-w），然后重试。</translation>
    </message>
    <message>
        <location filename="../src/storage/untrustedpatherror.cpp" line="68"/>
        <source>owned by another user (uid %1)</source>
        <translation>属于另一个用户（uid %1）</translation>
    </message>
    <message>
        <location filename="../src/storage/untrustedpatherror.cpp" line="71"/>
        <source>writable by every user</source>
        <translation>所有用户都可写</translation>
    </message>
    <message>
        <location filename="../src/storage/untrustedpatherror.cpp" line="74"/>
        <source>writable by its group (gid %1)</source>
        <translation>其用户组可写（gid %1）</translation>
    </message>
</context>
<context>
    <name>VisiblePasswordError</name>
    <message>
        <location filename="../src/commands/actions/visiblepassworderror.cpp" line="6"/>
        <source>Sending the password</source>
        <translation>发送密码</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/visiblepassworderror.cpp" line="7"/>
        <source>squidclient takes it on its command line</source>
        <translation>squidclient 在命令行上接收密码</translation>
    </message>
    <message>
        <location filename="../src/commands/actions/visiblepassworderror.cpp" line="12"/>
        <source>Nothing was written or started yet.

This request carries a password, and only squidclient is there to send it: squidclient takes the password on its command line, where every user of this computer can read it while the query runs. Installing curl keeps it hidden.

Send it all the same?</source>
        <translation>尚未写入或启动任何内容。

此请求带有密码，而只有 squidclient 可以发送它：squidclient 在命令行上接收密码，查询运行期间本机的每个用户都能读到它。安装 curl 可以隐藏密码。

仍然发送吗？</translation>
    </message>
</context>
</TS>
