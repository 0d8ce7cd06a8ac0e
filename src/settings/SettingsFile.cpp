#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace tavi {

namespace {

constexpr std::string_view RootClassName = "TDataModule";
constexpr std::string_view ResourceName = "TDATAMODULE";
constexpr std::string_view Signature = "TPF0";
constexpr uint16_t ResourceType = 10;
constexpr uint16_t ResourceFlags = 0x1030;

// Value type bytes.
enum : uint8_t {
  vaNull = 0,  // end of a list
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaString = 6,
  vaFalse = 8,
  vaTrue = 9,
  vaLString = 12,
};

// Far deeper than anything we write, shallow enough that hostile input
// cannot exhaust the stack.
constexpr int MaxDepth = 32;

// Ours are a few hundred bytes; this keeps a wrong file from filling memory.
constexpr size_t MaxFileSize = 16u << 20;

// One stored property. Exactly one member pointer is set.
template <class T>
struct TPropDef {
  std::string_view Name;
  std::string T::*Str = nullptr;
  std::vector<std::string> T::*List = nullptr;
  bool T::*Bool = nullptr;
  // A Boolean written only when true: added after the file format was
  // fixed, so that files without it stay byte for byte as they were.
  bool OnlyWhenTrue = false;
};

// In file order.
constexpr TPropDef<TGrobalArea> GrobalProps[] = {
    {"Password", &TGrobalArea::Password},
    {"NickName1", &TGrobalArea::NickName1},
    {"TrueName", &TGrobalArea::TrueName},
    {"LoginName", &TGrobalArea::LoginName},
    {"HostName", &TGrobalArea::HostName},
    {"ServerName", &TGrobalArea::ServerName},
    {"ServerNameList.Strings", nullptr, &TGrobalArea::ServerNameList},
    {"PortNumber", &TGrobalArea::PortNumber},
    {"JISChoice", nullptr, nullptr, &TGrobalArea::JISChoice},
    {"SJISChoice", nullptr, nullptr, &TGrobalArea::SJISChoice},
    {"UTF8Choice", nullptr, nullptr, &TGrobalArea::UTF8Choice, true},
};

constexpr TPropDef<TLocalArea> LocalProps[] = {
    {"ChannelName", &TLocalArea::ChannelName},
    {"ChannelNames.Strings", nullptr, &TLocalArea::ChannelNames},
    {"ChannelKey", &TLocalArea::ChannelKey},
    {"Talk", nullptr, nullptr, &TLocalArea::Talk},
    {"TalkMember", &TLocalArea::TalkMember},
};

template <class T>
struct TClassDef;

template <>
struct TClassDef<TGrobalArea> {
  static constexpr std::string_view Name = "TGrobalArea";
  static constexpr const auto& Props = GrobalProps;
};

template <>
struct TClassDef<TLocalArea> {
  static constexpr std::string_view Name = "TLocalArea";
  static constexpr const auto& Props = LocalProps;
};

// Class and property names are identifiers, which do not depend on case.
bool SameName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    unsigned char X = static_cast<unsigned char>(A[I]);
    unsigned char Y = static_cast<unsigned char>(B[I]);
    if (X >= 'a' && X <= 'z') X -= 'a' - 'A';
    if (Y >= 'a' && Y <= 'z') Y -= 'a' - 'A';
    if (X != Y) return false;
  }
  return true;
}

// A name taken from a damaged file, fit to be shown in a message.
std::string Printable(std::string_view S) {
  constexpr size_t Shown = 40;
  std::string Out = "\"";
  for (unsigned char C : S.substr(0, Shown)) {
    if (C >= 0x20 && C < 0x7F) {
      Out += static_cast<char>(C);
    } else {
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "\\x%02X", C);
      Out += Hex;
    }
  }
  if (S.size() > Shown) Out += "...";
  return Out + "\"";
}

class TWriter {
 public:
  std::string Out;

  void Byte(uint8_t B) { Out.push_back(static_cast<char>(B)); }
  void U16(uint16_t V) {
    Byte(static_cast<uint8_t>(V));
    Byte(static_cast<uint8_t>(V >> 8));
  }
  void U32(uint32_t V) {
    for (int Shift = 0; Shift < 32; Shift += 8) Byte(static_cast<uint8_t>(V >> Shift));
  }
  // Names only; they are all short.
  void ShortString(std::string_view S) {
    Byte(static_cast<uint8_t>(S.size()));
    Out.append(S);
  }

  void Int(int32_t V) {
    if (V >= INT8_MIN && V <= INT8_MAX) {
      Byte(vaInt8);
      Byte(static_cast<uint8_t>(V));
    } else if (V >= INT16_MIN && V <= INT16_MAX) {
      Byte(vaInt16);
      U16(static_cast<uint16_t>(V));
    } else {
      Byte(vaInt32);
      U32(static_cast<uint32_t>(V));
    }
  }
  void String(std::string_view S) {
    if (S.size() <= 255) {
      Byte(vaString);
      ShortString(S);
    } else {
      Byte(vaLString);
      U32(static_cast<uint32_t>(S.size()));
      Out.append(S);
    }
  }
  void Bool(bool V) { Byte(V ? vaTrue : vaFalse); }

  template <class T>
  void Component(const T& C) {
    ShortString(TClassDef<T>::Name);
    ShortString("");
    for (const auto& Def : TClassDef<T>::Props) {
      if (Def.Str) {
        if ((C.*Def.Str).empty()) continue;
        ShortString(Def.Name);
        String(C.*Def.Str);
      } else if (Def.List) {
        const auto& List = C.*Def.List;
        if (List.empty()) continue;
        ShortString(Def.Name);
        Byte(vaList);
        for (const auto& S : List) String(S);
        Byte(vaNull);
      } else {
        if (Def.OnlyWhenTrue && !(C.*Def.Bool)) continue;
        ShortString(Def.Name);
        Bool(C.*Def.Bool);
      }
    }
    Byte(0);  // end of properties
    Byte(0);  // end of children
  }
};

struct TStreamError {
  std::string Reason;
};

// Reads from a byte string, checking every length against the end, and
// throws TStreamError on the first thing that does not fit.
class TReader {
 public:
  explicit TReader(std::string_view Data) : FData(Data), FEnd(Data.size()) {}

  size_t Pos() const { return FPos; }
  void Limit(size_t End) { FEnd = End; }

  [[noreturn]] void Fail(const std::string& What, size_t At) const {
    throw TStreamError{What + " (at byte " + std::to_string(At) + ")"};
  }
  [[noreturn]] void Fail(const std::string& What) const { Fail(What, FPos); }

  std::string_view Take(size_t N) {
    if (N > FEnd - FPos) Fail("the settings file ends too early");
    std::string_view Out = FData.substr(FPos, N);
    FPos += N;
    return Out;
  }
  // Like Take, for a length that came from the file.
  std::string_view TakeString(size_t N) {
    if (N > FEnd - FPos) Fail("a string of " + std::to_string(N) + " bytes runs past the end");
    return Take(N);
  }

  uint8_t Byte() { return static_cast<uint8_t>(Take(1)[0]); }
  uint16_t U16() {
    std::string_view B = Take(2);
    return static_cast<uint16_t>(static_cast<uint8_t>(B[0]) | static_cast<uint8_t>(B[1]) << 8);
  }
  uint32_t U32() {
    std::string_view B = Take(4);
    uint32_t V = 0;
    for (int I = 3; I >= 0; --I) V = V << 8 | static_cast<uint8_t>(B[I]);
    return V;
  }
  std::string_view ShortString() { return TakeString(Byte()); }

  uint8_t ValueType() {
    uint8_t Type = Byte();
    switch (Type) {
      case vaNull:
      case vaList:
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaString:
      case vaFalse:
      case vaTrue:
      case vaLString:
        return Type;
      default:
        Fail("unknown value type " + std::to_string(Type), FPos - 1);
    }
  }

  std::string_view StringValue(uint8_t Type, std::string_view Prop) {
    if (Type == vaString) return ShortString();
    if (Type == vaLString) return TakeString(U32());
    Fail("property " + Printable(Prop) + " is not a string", FPos - 1);
  }
  int32_t IntValue(uint8_t Type, std::string_view Prop) {
    switch (Type) {
      case vaInt8:
        return static_cast<int8_t>(Byte());
      case vaInt16:
        return static_cast<int16_t>(U16());
      case vaInt32:
        return static_cast<int32_t>(U32());
      default:
        Fail("property " + Printable(Prop) + " is not an integer", FPos - 1);
    }
  }
  bool BoolValue(uint8_t Type, std::string_view Prop) {
    if (Type != vaFalse && Type != vaTrue) {
      Fail("property " + Printable(Prop) + " is not a Boolean", FPos - 1);
    }
    return Type == vaTrue;
  }
  std::vector<std::string> StringList(uint8_t Type, std::string_view Prop) {
    if (Type != vaList) Fail("property " + Printable(Prop) + " is not a list", FPos - 1);
    std::vector<std::string> List;
    for (uint8_t Item; (Item = ValueType()) != vaNull;) List.emplace_back(StringValue(Item, Prop));
    return List;
  }

  void SkipValue(uint8_t Type, int Depth) {
    switch (Type) {
      case vaList:
        if (Depth > MaxDepth) Fail("values nested too deeply");
        for (uint8_t Item; (Item = ValueType()) != vaNull;) SkipValue(Item, Depth + 1);
        break;
      case vaInt8:
        Take(1);
        break;
      case vaInt16:
        Take(2);
        break;
      case vaInt32:
        Take(4);
        break;
      case vaString:
      case vaLString:
        StringValue(Type, {});
        break;
      default:  // null and the Booleans carry no data
        break;
    }
  }

  // An object record whose class name has been read.
  void SkipObject(int Depth) {
    if (Depth > MaxDepth) Fail("components nested too deeply");
    ShortString();  // object name
    while (!ShortString().empty()) SkipValue(ValueType(), Depth + 1);
    while (!ShortString().empty()) SkipObject(Depth + 1);
  }

 private:
  std::string_view FData;
  size_t FPos = 0;
  size_t FEnd;
};

template <class T>
const TPropDef<T>* FindProp(std::string_view Name) {
  for (const auto& Def : TClassDef<T>::Props) {
    if (SameName(Def.Name, Name)) return &Def;
  }
  return nullptr;
}

// An object record whose class name has been read.
template <class T>
T ReadComponent(TReader& R) {
  T C;
  R.ShortString();  // object name: not used
  for (std::string_view Name; !(Name = R.ShortString()).empty();) {
    uint8_t Type = R.ValueType();
    const TPropDef<T>* Def = FindProp<T>(Name);
    if (!Def) {
      R.SkipValue(Type, 1);  // from some other version: dropped
    } else if (Def->Str) {
      C.*Def->Str = R.StringValue(Type, Name);
    } else if (Def->List) {
      C.*Def->List = R.StringList(Type, Name);
    } else {
      C.*Def->Bool = R.BoolValue(Type, Name);
    }
  }
  // Our components own nothing; whatever is nested here is not ours.
  while (!R.ShortString().empty()) R.SkipObject(1);
  return C;
}

// Appends each child to Out as soon as it is complete, so that what came
// before a damaged spot survives the throw.
void ReadModule(std::string_view Bytes, TSettingsModule& Out) {
  TReader R(Bytes);
  if (Bytes.empty()) R.Fail("the settings file is empty", 0);
  if (R.Byte() != 0xFF || R.U16() != ResourceType) {
    R.Fail("not a settings file: bad resource header", 0);
  }
  while (R.Byte() != 0) {
  }  // resource name
  R.U16();  // flags
  const uint32_t Size = R.U32();
  if (Size > Bytes.size() - R.Pos()) {
    R.Fail("the stream length " + std::to_string(Size) + " runs past the end of the file (" +
               std::to_string(Bytes.size()) + " bytes)",
           R.Pos() - 4);
  }
  R.Limit(R.Pos() + Size);

  size_t At = R.Pos();
  if (R.Take(Signature.size()) != Signature) R.Fail("not a settings file: no TPF0 signature", At);

  At = R.Pos();
  std::string_view Class = R.ShortString();
  if (!SameName(Class, RootClassName)) {
    R.Fail("the root object is " + Printable(Class) + ", not TDataModule", At);
  }
  R.ShortString();  // object name

  bool OldCreateOrder = false;
  int32_t Height = 0;
  int32_t Width = 0;
  for (std::string_view Name; !(Name = R.ShortString()).empty();) {
    uint8_t Type = R.ValueType();
    if (SameName(Name, "OldCreateOrder")) {
      OldCreateOrder = R.BoolValue(Type, Name);
    } else if (SameName(Name, "Height")) {
      Height = R.IntValue(Type, Name);
    } else if (SameName(Name, "Width")) {
      Width = R.IntValue(Type, Name);
    } else {
      R.SkipValue(Type, 1);
    }
  }
  Out.OldCreateOrder = OldCreateOrder;
  Out.Height = Height;
  Out.Width = Width;

  for (;;) {
    At = R.Pos();
    Class = R.ShortString();
    if (Class.empty()) break;
    if (SameName(Class, TClassDef<TGrobalArea>::Name)) {
      Out.AddGrobalArea(ReadComponent<TGrobalArea>(R));
    } else if (SameName(Class, TClassDef<TLocalArea>::Name)) {
      Out.AddLocalArea(ReadComponent<TLocalArea>(R));
    } else {
      R.Fail("unknown component class " + Printable(Class), At);
    }
  }
}

void MakeFresh(TSettingsModule& Module) {
  Module.Clear();
  Module.GrobalArea();
  Module.LocalArea();
}

struct TFileBytes {
  bool Exists = false;
  std::string Bytes;
  std::string Error;  // set when it exists but could not be read
};

TFileBytes ReadWholeFile(const std::string& Path) {
  TFileBytes File;
  int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    int Err = errno;
    if (Err != ENOENT) {
      File.Exists = true;
      File.Error = "cannot open the settings file " + Path + ": " + std::strerror(Err);
    }
    return File;
  }
  File.Exists = true;
  char Buffer[16384];
  for (;;) {
    ssize_t N = ::read(Fd, Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) {
      File.Error = "cannot read the settings file " + Path + ": " + std::strerror(errno);
      break;
    }
    if (N == 0) break;
    if (File.Bytes.size() + static_cast<size_t>(N) > MaxFileSize) {
      File.Error = "the settings file " + Path + " is too large";
      break;
    }
    File.Bytes.append(Buffer, static_cast<size_t>(N));
  }
  ::close(Fd);
  return File;
}

bool PathTaken(const std::string& Path) {
  struct stat St;
  // Anything but a clear "not there" counts as taken, so nothing is replaced.
  return ::lstat(Path.c_str(), &St) == 0 || errno != ENOENT;
}

// Moves Path to the first free name of Path.bad, Path.bad.1, ...; returns the
// new path, or an empty one with Error set.
std::string KeepAside(const std::string& Path, std::string& Error) {
  constexpr int MaxTries = 10000;
  for (int N = 0; N < MaxTries; ++N) {
    std::string Target = Path + ".bad";
    if (N > 0) Target.append(1, '.').append(std::to_string(N));
    if (PathTaken(Target)) continue;
    // No-replace rename closes the gap between the check and the move where
    // the file system supports it.
    int Rc = ::renameat2(AT_FDCWD, Path.c_str(), AT_FDCWD, Target.c_str(), RENAME_NOREPLACE);
    if (Rc != 0 && (errno == EINVAL || errno == ENOSYS)) Rc = ::rename(Path.c_str(), Target.c_str());
    if (Rc == 0) return Target;
    if (errno == EEXIST) continue;
    Error = "could not move it to " + Target + ": " + std::strerror(errno);
    return {};
  }
  Error = "could not find a free name to move it to";
  return {};
}

int WriteAll(int Fd, std::string_view Bytes) {
  while (!Bytes.empty()) {
    ssize_t N = ::write(Fd, Bytes.data(), Bytes.size());
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return errno;
    Bytes.remove_prefix(static_cast<size_t>(N));
  }
  return 0;
}

// Makes the rename itself durable; the new file is complete either way.
void SyncFolder(const std::string& Path) {
  size_t Slash = Path.rfind('/');
  std::string Folder = Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
  int Fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return;
  ::fsync(Fd);
  ::close(Fd);
}

}  // namespace

std::string IniFileName(std::string_view ProgramPath) {
  size_t NameStart = ProgramPath.find_last_of("/\\");
  NameStart = NameStart == std::string_view::npos ? 0 : NameStart + 1;
  size_t Dot = ProgramPath.rfind('.');
  // A dot in a folder name, or the leading dot of a hidden file, starts no extension.
  if (Dot == std::string_view::npos || Dot <= NameStart) Dot = ProgramPath.size();
  return std::string(ProgramPath.substr(0, Dot)) + ".Ini";
}

std::string WriteSettingsBytes(const TSettingsModule& Module) {
  TWriter Stream;
  Stream.Out.append(Signature);
  Stream.ShortString(RootClassName);
  Stream.ShortString("");
  Stream.ShortString("OldCreateOrder");
  Stream.Bool(Module.OldCreateOrder);
  Stream.ShortString("Height");
  Stream.Int(Module.Height);
  Stream.ShortString("Width");
  Stream.Int(Module.Width);
  Stream.Byte(0);  // end of properties
  for (const TSettingsComponent& C : Module.Components()) {
    std::visit([&](const auto& Area) { Stream.Component(Area); }, C);
  }
  Stream.Byte(0);  // end of children

  TWriter File;
  File.Byte(0xFF);
  File.U16(ResourceType);
  File.Out.append(ResourceName);
  File.Byte(0);
  File.U16(ResourceFlags);
  File.U32(static_cast<uint32_t>(Stream.Out.size()));
  File.Out += Stream.Out;
  return std::move(File.Out);
}

TSettingsReadResult ReadSettingsBytes(std::string_view Bytes, TSettingsModule& Module) {
  TSettingsModule Read;
  TSettingsReadResult Result;
  try {
    ReadModule(Bytes, Read);
    Result.Ok = true;
  } catch (const TStreamError& Error) {
    Result.Reason = Error.Reason;
  }
  if (Result.Ok && (!Read.FindGrobalArea() || !Read.FindLocalArea())) {
    Result.Ok = false;
    Result.Reason = !Read.FindGrobalArea() && !Read.FindLocalArea()
                        ? "the settings file holds neither TGrobalArea nor TLocalArea"
                    : !Read.FindGrobalArea() ? "the settings file holds no TGrobalArea"
                                             : "the settings file holds no TLocalArea";
  }
  Read.GrobalArea();
  Read.LocalArea();
  Module = std::move(Read);
  return Result;
}

TSettingsLoadResult LoadSettings(const std::string& Path, TSettingsModule& Module) {
  TSettingsLoadResult Result;
  TFileBytes File = ReadWholeFile(Path);
  Result.Existed = File.Exists;
  if (!File.Exists) {
    MakeFresh(Module);
    Result.Ok = true;
    return Result;
  }
  if (File.Error.empty()) {
    TSettingsReadResult Read = ReadSettingsBytes(File.Bytes, Module);
    if (Read.Ok) {
      Result.Ok = true;
      return Result;
    }
    Result.Reason = Read.Reason;
  } else {
    MakeFresh(Module);
    Result.Reason = File.Error;
  }
  std::string AsideError;
  Result.KeptAsidePath = KeepAside(Path, AsideError);
  if (Result.KeptAsidePath.empty()) Result.Reason += "; " + AsideError;
  return Result;
}

TSettingsSaveResult SaveSettings(const std::string& Path, const TSettingsModule& Module) {
  const std::string Bytes = WriteSettingsBytes(Module);
  std::string Temp = Path + ".XXXXXX";
  int Fd = ::mkostemp(Temp.data(), O_CLOEXEC);
  if (Fd < 0) {
    return {false, "cannot create a temporary file beside " + Path + ": " + std::strerror(errno)};
  }
  int Err = WriteAll(Fd, Bytes);
  if (Err == 0 && ::fsync(Fd) != 0) Err = errno;
  if (::close(Fd) != 0 && Err == 0) Err = errno;
  if (Err == 0 && ::rename(Temp.c_str(), Path.c_str()) != 0) Err = errno;
  if (Err != 0) {
    ::unlink(Temp.c_str());
    return {false, "cannot write the settings file " + Path + ": " + std::strerror(Err)};
  }
  SyncFolder(Path);
  return {true, {}};
}

}  // namespace tavi
